#include "app/SettingsBridge.h"

#include "config/NetworkCameraSettings.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"

namespace vistrel {

UploadSettings ToUploadSettings(const LiveSettings& l, int logonType)
{
    UploadSettings u;
    u.programFolder = l.m_strWorkingFolder;
    u.saveAsFile = l.m_bSaveAsFile;
    u.saveAsFilename = l.m_strSaveAsFilename;
    u.ftpUpload = l.m_bFTPUpload;
    u.ftpServer = l.m_strFTPServer;
    u.ftpPort = l.m_nFTPPort;
    u.ftpUsername = l.m_strFTPUsername;
    u.ftpPassword = l.m_strFTPPassword;
    u.ftpDirectory = l.m_strFTPDirectory;
    u.ftpFilename = l.m_strFTPFilename;
    u.ftpTimeOut = l.m_nFTPTimeOut;
    u.passiveMode = l.m_bPassiveMode;
    u.logonType = logonType;
    u.fireWallServer = l.m_strFireWallServer;
    u.fireWallPort = l.m_nFireWallPort;
    u.fireWallUsername = l.m_strFireWallUsername;
    u.fireWallPassword = l.m_strFireWallPassword;
    u.ftpSecurity = ToFtpSecuritySettings(l);
    u.noTempFile = l.m_bNoTempFile;
    u.ftpLog = l.m_bFTPLog;
    u.onlyWhileOnline = l.m_bOnlyWhileOnline;
    u.archiveInterval = l.m_nArchiveInterval;
    u.numberOfArchives = l.m_nNumberOfArchives;
    u.archiveOrder = l.m_nArchiveOrder;
    u.deleteBeforeMove = l.m_bDeleteBeforeMove;
    u.useLan = l.m_bUseLAN;
    u.askBeforeConnect = l.m_bAskBeforeConnect;
    u.dun = l.m_strDUN;
    u.dunUserName = l.m_strUserName;
    u.dunPassword = l.m_strPassword;
    u.dunPhoneNumber = l.m_strPhoneNumber;
    return u;
}

FtpSecuritySettings ToFtpSecuritySettings(const LiveSettings& l)
{
    return {l.m_nFTPSecurity, l.m_bFTPVerifyCertificate, l.m_strFTPCertificateFingerprint,
            l.m_strFTPSecurityRefusal};
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
