#include "config/LiveSettings.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "platform/AutoResetEvent.h"
#include "platform/Profile.h"

namespace vistrel {

namespace {

constexpr long kIdleWaitMs = 5000;

int readInt(std::string_view sectionName, std::string_view key)
{
    return ReadSettingInt(sectionName, key);
}

bool readFlag(std::string_view sectionName, std::string_view key)
{
    return ReadSettingInt(sectionName, key) != 0;
}

std::uint32_t readColour(std::string_view sectionName, std::string_view key)
{
    return static_cast<std::uint32_t>(ReadSettingInt(sectionName, key));
}

std::string readString(std::string_view sectionName, std::string_view key)
{
    return ReadSettingString(sectionName, key);
}

std::string readFontFace(std::string_view sectionName, std::string_view key)
{
    return std::string(Utf8Prefix(ReadSettingString(sectionName, key), kFontFaceMax));
}

} // namespace

void LiveSettings::LoadImageOptions()
{
    const auto s = section::kImageOptions;
    m_bEnableMessage = readFlag(s, "EnableMessage");
    m_strMessage = readString(s, "Message");
    m_strFont = readFontFace(s, "Font");
    m_nFontHeight = readInt(s, "FontHeight");
    m_nFontWidth = readInt(s, "FontWidth");
    m_nFontWeight = readInt(s, "FontWeight");
    m_bFontItalic = readFlag(s, "FontItalic");
    m_crFontColor = readColour(s, "FontColor");
    m_nAlignment = readInt(s, "Alignment");
    m_bShadowText = readFlag(s, "ShadowText");
    m_bStamp = readFlag(s, "Stamp");
    m_nDateTimeFormat = readInt(s, "DateTimeFormat");
    m_strTimeFont = readFontFace(s, "TimeFont");
    m_nTimeFontHeight = readInt(s, "TimeFontHeight");
    m_nTimeFontWidth = readInt(s, "TimeFontWidth");
    m_nTimeFontWeight = readInt(s, "TimeFontWeight");
    m_bTimeFontItalic = readFlag(s, "TimeFontItalic");
    m_crTimeFontColor = readColour(s, "TimeFontColor");
    m_nTimeAlignment = readInt(s, "TimeAlignment");
    m_bTimeShadowText = readFlag(s, "TimeShadowText");
    m_bEnableOverlay = readFlag(s, "EnableOverlay");
    m_strOverlayFilename = readString(s, "OverlayFilename");
    m_nOverlayAlignment = readInt(s, "OverlayAlignment");
    m_bOverlayTransparency = readFlag(s, "OverlayTransparency");
    m_nQuality = readInt(s, "Quality");
    m_bProgressiveJPG = readFlag(s, "ProgressiveJPG");
}

void LiveSettings::LoadSchedule(bool readArchiveCounter)
{
    const auto s = section::kUploadOptions;
    m_nUploadInterval = readInt(s, "UploadInterval");
    m_nUploadIntervalMeasure = readInt(s, "UploadIntervalMeasure");
    m_bUploadTimeRange = readFlag(s, "UploadTimeRange");
    m_nUploadTimeRangeStartHour = readInt(s, "UploadTimeRangeStartHour");
    m_nUploadTimeRangeStartMinute = readInt(s, "UploadTimeRangeStartMinute");
    m_nUploadTimeRangeEndHour = readInt(s, "UploadTimeRangeEndHour");
    m_nUploadTimeRangeEndMinute = readInt(s, "UploadTimeRangeEndMinute");
    m_bDisableUpload = readFlag(s, "DisableUpload");
    m_nArchiveInterval = readInt(s, "ArchiveInterval");
    m_nNumberOfArchives = readInt(s, "NumberOfArchives");
    m_nArchiveOrder = readInt(s, "ArchiveOrder");
    if (readArchiveCounter)
        m_nCurrentUpload = readInt(s, "CurrentUpload");
}

void LiveSettings::LoadFtp()
{
    const auto s = section::kUploadOptions;
    m_bFTPUpload = readFlag(s, "FTPUpload");
    m_bOnlyWhileOnline = readFlag(s, "OnlyWhileOnline");
    m_strFTPServer = readString(s, "FTPServer");
    m_nFTPPort = readInt(s, "FTPPort");
    m_strFTPUsername = readString(s, "FTPUsername");
    m_strFTPPassword = readString(s, "FTPPassword");
    m_strFTPDirectory = readString(s, "FTPDirectory");
    m_strFTPFilename = readString(s, "FTPFilename");
    m_bNoTempFile = readFlag(s, "NoTempFile");
    m_bPassiveMode = readFlag(s, "PassiveMode");
    m_nFTPTimeOut = readInt(s, "FTPTimeOut");
    m_bUseFireWall = readFlag(s, "UseFireWall");
    m_nFireWallType = readInt(s, "FireWallType");
    m_strFireWallServer = readString(s, "FireWallServer");
    m_nFireWallPort = readInt(s, "FireWallPort");
    m_strFireWallUsername = readString(s, "FireWallUsername");
    m_strFireWallPassword = readString(s, "FireWallPassword");
    m_bSaveAsFile = readFlag(s, "SaveAsFile");
    m_strSaveAsFilename = readString(s, "SaveAsFilename");
    m_nFTPSecurity = readInt(s, "FTPSecurity");
    m_bFTPVerifyCertificate = readFlag(s, "FTPVerifyCertificate");
    m_strFTPCertificateFingerprint = readString(s, "FTPCertificateFingerprint");
}

void LiveSettings::LoadConnection()
{
    const auto s = section::kConnectOptions;
    m_bUseLAN = readFlag(s, "UseLAN");
    m_bAskBeforeConnect = readFlag(s, "AskBeforeConnect");
    m_strDUN = readString(s, "DUN");
    m_strUserName = readString(s, "UserName");
    m_strPassword = readString(s, "Password");
    m_strPhoneNumber = readString(s, "PhoneNumber");
}

void LiveSettings::LoadGeneral()
{
    const auto s = section::kOptions;
    m_bRunMinimized = readFlag(s, "RunMinimized");
    m_bUploadOnStart = readFlag(s, "UploadOnStart");
    m_bHideWhenMinimized = readFlag(s, "HideWhenMinimized");
    m_nViewDisplaysLastUploadImage = readInt(s, "ViewDisplaysLastUploadImage");
    m_bUseSound = readFlag(s, "UseSound");
    m_strSoundFile = readString(s, "SoundFile");
    m_bDeleteBeforeMove = readFlag(s, "DeleteBeforeMove");
    m_bSaveAutoCaptureStatus = readFlag(s, "SaveAutoCaptureStatus");
    m_bErrorLog = readFlag(s, "ErrorLog");
    m_bSuppressErrors = readFlag(section::kUploadOptions, "SuppressErrors");
    m_bFTPLog = readFlag(section::kUploadOptions, "FTPLog");
}

void LiveSettings::LoadDevice()
{
    m_nCaptureDevice = readInt(section::kImageFormat, "CaptureDevice");
    m_bDisablePreview = readFlag(section::kDeviceOptions, "DisablePreview");
    m_nPreviewLeadTime = readInt(section::kDeviceOptions, "PreviewLeadTime");
    m_nPreviewRate = readInt(section::kDeviceOptions, "PreviewRate");
}

bool LiveSettings::LoadAll(AutoResetEvent& idleEvent)
{
    const bool idle = idleEvent.Wait(kIdleWaitMs);
    LoadEverything(true);
    return idle;
}

void LiveSettings::LoadEverything(bool readArchiveCounter)
{
    m_nFTPTimeOut = readInt(section::kUploadOptions, "FTPTimeOut");
    m_nFTPPort = readInt(section::kUploadOptions, "FTPPort");
    m_strInstallDirectory = readString(section::kInstall, "Directory");
    if (!m_strInstallDirectory.empty() && m_strInstallDirectory.back() != '/')
        m_strInstallDirectory += '/';
    m_strWorkingFolder = WorkingFolder(m_strInstallDirectory);
    LoadImageOptions();
    LoadSchedule(readArchiveCounter);
    LoadFtp();
    LoadConnection();
    LoadGeneral();
    LoadDevice();
}

} // namespace vistrel
