#include "app/SettingsBridge.h"

#include "config/NetworkCameraSettings.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"

#include <cstdlib>

namespace vistrel {

UploadSettings ToUploadSettings(const LiveSettings& l)
{
    UploadSettings u;
    u.programFolder = l.m_strWorkingFolder;
    u.saveAsFile = l.m_bSaveAsFile;
    u.saveAsFilename = l.m_strSaveAsFilename;
    u.ftpUpload = l.m_bFTPUpload;
    u.ftp = ToFtpConnection(l);
    u.ftpDirectory = l.m_strFTPDirectory;
    u.ftpFilename = l.m_strFTPFilename;
    u.noTempFile = l.m_bNoTempFile;
    u.ftpLog = l.m_bFTPLog;
    u.onlyWhileOnline = l.m_bOnlyWhileOnline;
    u.archiveInterval = l.m_nArchiveInterval;
    u.numberOfArchives = l.m_nNumberOfArchives;
    u.archiveOrder = l.m_nArchiveOrder;
    u.deleteBeforeMove = l.m_bDeleteBeforeMove;
    u.saveAsPattern = l.m_strSaveAsPattern;
    u.remotePattern = l.m_strRemotePattern;
    u.keepDays = l.m_nKeepDays;
    u.keepFiles = l.m_nKeepFiles;
    u.useLan = l.m_bUseLAN;
    u.askBeforeConnect = l.m_bAskBeforeConnect;
    u.dun = l.m_strDUN;
    u.dunUserName = l.m_strUserName;
    u.dunPassword = l.m_strPassword;
    u.dunPhoneNumber = l.m_strPhoneNumber;
    u.uploadTarget = l.m_strUploadTarget;
    // The other targets log on with the FTP connection's server, account and time-out (SFTP on
    // port 22 unless FTPPort says otherwise): the same value, with their own fields beside it.
    TargetSettings& t = u.target;
    t.timeoutSeconds = u.ftp.timeout;
    t.server = u.ftp.host;
    t.port = l.m_bFTPPortSet ? u.ftp.port : 22;
    t.username = u.ftp.user;
    t.password = u.ftp.password;
    t.directory = l.m_strFTPDirectory;
    t.hostKey = l.m_strSFTPHostKey;
    t.knownHosts = l.m_strSFTPKnownHosts;
    if (t.knownHosts.empty()) {
        const char* home = std::getenv("HOME");
        t.knownHosts = std::string(home ? home : "") + "/.ssh/known_hosts";
    }
    t.keyFile = l.m_strSFTPKeyFile;
    t.keyPassphrase = l.m_strSFTPKeyPassphrase;
    t.url = l.m_strWebDAVURL;
    t.verifyCertificate = l.m_bFTPVerifyCertificate;
    t.certificateFingerprint = l.m_strFTPCertificateFingerprint;
    t.endpoint = l.m_strS3Endpoint;
    t.region = l.m_strS3Region;
    t.bucket = l.m_strS3Bucket;
    t.accessKey = l.m_strS3AccessKey;
    t.secret = l.m_strS3Secret;
    t.cacheControl = l.m_strS3CacheControl;
    t.storageClass = l.m_strS3StorageClass;
    u.afterPublish = l.m_strAfterPublish;
    u.afterPublishTimeout = l.m_nAfterPublishTimeout;
    return u;
}

ComposeSettings ToComposeSettings(const LiveSettings& l)
{
    ComposeSettings c;
    c.enableMessage = l.m_bEnableMessage;
    c.message = l.m_strMessage;
    c.font = {l.m_strFont, l.m_nFontHeight, l.m_nFontWidth, l.m_nFontWeight, l.m_bFontItalic};
    c.fontColor = l.m_crFontColor;
    c.alignment = l.m_nAlignment;
    c.shadowText = l.m_bShadowText;
    c.stamp = l.m_bStamp;
    c.dateTimeFormat = l.m_nDateTimeFormat;
    c.timeFormat = l.m_strTimeFormat;
    c.timeFont = {l.m_strTimeFont, l.m_nTimeFontHeight, l.m_nTimeFontWidth, l.m_nTimeFontWeight,
                  l.m_bTimeFontItalic};
    c.timeFontColor = l.m_crTimeFontColor;
    c.timeAlignment = l.m_nTimeAlignment;
    c.timeShadowText = l.m_bTimeShadowText;
    c.enableOverlay = l.m_bEnableOverlay;
    c.overlayFilename = l.m_strOverlayFilename;
    c.overlayAlignment = l.m_nOverlayAlignment;
    c.overlayTransparency = l.m_bOverlayTransparency;
    c.quality = l.m_nQuality;
    c.progressive = l.m_bProgressiveJPG;
    c.rotate = l.m_nRotate;
    c.mirror = l.m_bMirror;
    c.disablePreview = l.m_bDisablePreview;
    c.previewLeadTime = l.m_nPreviewLeadTime;
    c.useSound = l.m_bUseSound;
    c.soundFile = l.m_strSoundFile;
    return c;
}

CaptureSettings ToCaptureSettings(const LiveSettings& l)
{
    CaptureSettings c;
    c.captureDevice = l.m_nCaptureDevice;
    c.devicePath = l.m_strCaptureDevicePath;
    c.disablePreview = l.m_bDisablePreview;
    c.previewRate = l.m_nPreviewRate;
    c.cameraControls = l.m_strCameraControls;
    const VideoFormatSettings v = ReadVideoFormatSettings();
    ImageFormat& f = c.storedFormat;
    f.size = static_cast<std::uint32_t>(v.Size);
    f.width = v.Width;
    f.height = v.Height;
    f.planes = static_cast<std::uint16_t>(v.Planes);
    f.bitCount = static_cast<std::uint16_t>(v.BitCount);
    f.compression = static_cast<std::uint32_t>(v.Compression);
    f.sizeImage = static_cast<std::uint32_t>(v.SizeImage);
    f.xPelsPerMeter = v.XPelsPerMeter;
    f.yPelsPerMeter = v.YPelsPerMeter;
    f.clrUsed = static_cast<std::uint32_t>(v.ClrUsed);
    f.clrImportant = static_cast<std::uint32_t>(v.ClrImportant);
    return c;
}

std::vector<NetworkCameraSlot> NetworkCamerasFromSettings()
{
    std::vector<NetworkCameraSlot> cameras;
    for (const NetworkCameraKeys& k : ReadNetworkCameras())
        cameras.push_back({k.slot,
                           {k.name, k.url, k.username, k.password, k.verifyCertificate,
                            k.certificateFingerprint, k.timeOutSeconds * 1000}});
    return cameras;
}

void UseNetworkCamerasFromSettings(CaptureDriverList& drivers)
{
    if (!drivers.hasNetworkCameraSource())
        drivers.setNetworkCameraSource(&NetworkCamerasFromSettings);
}

} // namespace vistrel
