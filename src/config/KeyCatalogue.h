#pragma once

#include "config/LiveSettings.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel {

// The sections of the settings file.
namespace section {
inline constexpr std::string_view kLicense = "License";
inline constexpr std::string_view kOptions = "Options";
inline constexpr std::string_view kUploadOptions = "UploadOptions";
inline constexpr std::string_view kConnectOptions = "ConnectOptions";
inline constexpr std::string_view kImageOptions = "ImageOptions";
inline constexpr std::string_view kImageFormat = "ImageFormat";
inline constexpr std::string_view kDeviceOptions = "DeviceOptions";
inline constexpr std::string_view kInstall = "Install";
inline constexpr std::string_view kNetworkCameras = "NetworkCameras";
} // namespace section

enum class SettingType {
    Integer,  // signed decimal ("%d") within the key's range
    Flag,     // 0 or 1; any non-zero value counts as set
    Choice,   // one of the key's listed numbers
    Colour,   // 0x00BBGGRR as a decimal integer: 0 black, 16777215 white
    String,   // as written, at most 1023 characters read back
    Path,     // a file or folder name, as written
    FontFace, // a font's face name, cut to kFontFaceMax characters on reading
    Password, // a string stored scrambled (config/PasswordScrambling.h)
};

// One value of a choice (or of a flag) and what it means.
struct SettingChoice {
    int value;
    std::string_view meaning;
};

// The member of the live settings a key loads into.
struct LiveMember {
    enum class Kind { None, Flag, Integer, Colour, Text };
    Kind kind = Kind::None;
    bool LiveSettings::*flag = nullptr;
    int LiveSettings::*integer = nullptr;
    std::uint32_t LiveSettings::*colour = nullptr;
    std::string LiveSettings::*text = nullptr;

    constexpr LiveMember() = default;
    constexpr LiveMember(bool LiveSettings::*m) : kind(Kind::Flag), flag(m) {}
    constexpr LiveMember(int LiveSettings::*m) : kind(Kind::Integer), integer(m) {}
    constexpr LiveMember(std::uint32_t LiveSettings::*m) : kind(Kind::Colour), colour(m) {}
    constexpr LiveMember(std::string LiveSettings::*m) : kind(Kind::Text), text(m) {}
};

// One key of the settings file: one row of the table below. Numbers are given as their decimal
// text.
struct SettingKey {
    std::string_view section;
    std::string_view key;
    SettingType type;
    // What the running program assumes when the key is missing.
    std::string_view programDefault;
    // What the settings page editing the key shows (and writes back on OK or Apply) when the key
    // is missing; nullptr for keys no page shows.
    const char* pageDefault;
    SettingsPage page = SettingsPage::None;
    ReloadGroup group = ReloadGroup::None;
    LiveMember member;
    // Integers: the accepted range. Choices and flags: what each value means.
    int minimum = INT_MIN;
    int maximum = INT_MAX;
    std::span<const SettingChoice> choices;
    // The value decides whether and how connections are encrypted or certificates checked: a
    // present value that is not valid refuses the upload instead of falling back.
    bool decidesSecurity = false;

    constexpr SettingKey range(int low, int high) const
    {
        SettingKey k = *this;
        k.minimum = low;
        k.maximum = high;
        return k;
    }
    constexpr SettingKey meanings(std::span<const SettingChoice> list) const
    {
        SettingKey k = *this;
        k.choices = list;
        return k;
    }
    constexpr SettingKey security() const
    {
        SettingKey k = *this;
        k.decidesSecurity = true;
        return k;
    }

    bool isNumeric() const
    {
        return type == SettingType::Integer || type == SettingType::Flag ||
               type == SettingType::Choice || type == SettingType::Colour;
    }
    bool isText() const { return !isNumeric(); }
    // The defaults as numbers (for numeric keys) and as texts; usable in constant expressions,
    // so that structures handed on from the live settings take their defaults from here.
    constexpr int programDefaultInt() const { return decimal(programDefault); }
    constexpr bool programDefaultFlag() const { return programDefaultInt() != 0; }
    constexpr int pageDefaultInt() const
    {
        return pageDefault ? decimal(pageDefault) : programDefaultInt();
    }
    std::string programDefaultText() const { return std::string(programDefault); }
    // "Section/Key".
    std::string name() const;

  private:
    // A default's decimal text ("-13").
    static constexpr int decimal(std::string_view text)
    {
        const bool negative = !text.empty() && text.front() == '-';
        int value = 0;
        for (char c : text.substr(negative ? 1 : 0))
            value = value * 10 + (c - '0');
        return negative ? -value : value;
    }
};

namespace keyrows {

using T = SettingType;
using P = SettingsPage;
using G = ReloadGroup;
using L = LiveSettings;
inline constexpr const char* kNoPage = nullptr;

constexpr SettingKey Row(std::string_view section, std::string_view key, SettingType type,
                         std::string_view programDefault, const char* pageDefault,
                         SettingsPage page, ReloadGroup group, LiveMember member = {})
{
    SettingKey k{section, key, type, programDefault, pageDefault};
    k.page = page;
    k.group = group;
    k.member = member;
    if (type == SettingType::Flag)
        k = k.range(0, 1);
    if (type == SettingType::Colour)
        k = k.range(0, 0xFFFFFF);
    return k;
}

inline constexpr SettingChoice kUploadOnOff[] = {{0, "upload off"}, {1, "upload on"}};
inline constexpr SettingChoice kPassive[] = {{0, "active mode"}, {1, "passive mode"}};
inline constexpr SettingChoice kVerify[] = {{0, "certificates are not checked"},
                                            {1, "certificates are checked"}};
inline constexpr SettingChoice kView[] = {{0, "a picture captured for the purpose"},
                                          {1, "the last picture published"}};
inline constexpr SettingChoice kIntervalUnit[] = {{0, "seconds"}, {1, "minutes"}, {2, "hours"}};
inline constexpr SettingChoice kArchiveOrder[] = {{0, "first"}, {1, "last"}};
inline constexpr SettingChoice kProxyType[] = {
    {0, "SITE"}, {1, "OPEN"}, {2, "USER after log-on"}, {3, "USER without log-on"}};
inline constexpr SettingChoice kRotate[] = {{0, "upright"},
                                            {90, "a quarter turn clockwise"},
                                            {180, "upside down"},
                                            {270, "a quarter turn anticlockwise"}};
inline constexpr SettingChoice kMirror[] = {{0, "as the camera sees it"},
                                            {1, "left and right swapped"}};
inline constexpr SettingChoice kSecurity[] = {
    {0, "plain FTP"}, {1, "explicit TLS"}, {2, "implicit TLS"}};

} // namespace keyrows

// Every key of the settings file, one named row each, section by section. Code names a key by
// its row (keys::UploadOptions::FTPServer), so a misspelt key does not compile.
//
// A new key is a row in its section's namespace and its line in kAll below, plus its meaning in
// packaging/man/vistrel.ini.keys (the build fails without it). If the running program keeps it,
// its member in LiveSettings (named in the row; the loaders, the defaults and the value checks
// follow from the row); if a page edits it, one m_keys.add(row, control) on that page. A key
// that decides encryption or certificate checking is marked .security(): a present value that is
// not valid then refuses every FTP log-on.
namespace keys {

// One row a line: the table reads best unwrapped.
// clang-format off
namespace License {
using namespace keyrows;
inline constexpr auto s = section::kLicense;
inline constexpr SettingKey INIVersion = Row(s, "INIVersion", T::Integer, "0", kNoPage, P::None, G::None);
} // namespace License

namespace Options {
using namespace keyrows;
inline constexpr auto s = section::kOptions;
inline constexpr SettingKey RunMinimized = Row(s, "RunMinimized", T::Flag, "0", "0", P::General, G::General, &L::m_bRunMinimized);
inline constexpr SettingKey UploadOnStart = Row(s, "UploadOnStart", T::Flag, "0", "0", P::General, G::General, &L::m_bUploadOnStart);
inline constexpr SettingKey HideWhenMinimized = Row(s, "HideWhenMinimized", T::Flag, "0", "0", P::General, G::General, &L::m_bHideWhenMinimized);
inline constexpr SettingKey ViewDisplaysLastUploadImage = Row(s, "ViewDisplaysLastUploadImage", T::Choice, "1", "0", P::General, G::General, &L::m_nViewDisplaysLastUploadImage).meanings(kView);
inline constexpr SettingKey UseSound = Row(s, "UseSound", T::Flag, "0", "0", P::General, G::General, &L::m_bUseSound);
inline constexpr SettingKey SoundFile = Row(s, "SoundFile", T::Path, "shutter.wav", "shutter.wav", P::General, G::General, &L::m_strSoundFile);
inline constexpr SettingKey DeleteBeforeMove = Row(s, "DeleteBeforeMove", T::Flag, "0", "0", P::General, G::General, &L::m_bDeleteBeforeMove);
inline constexpr SettingKey SaveAutoCaptureStatus = Row(s, "SaveAutoCaptureStatus", T::Flag, "0", "0", P::General, G::General, &L::m_bSaveAutoCaptureStatus);
inline constexpr SettingKey ErrorLog = Row(s, "ErrorLog", T::Flag, "0", "0", P::General, G::General, &L::m_bErrorLog);
} // namespace Options

namespace UploadOptions {
using namespace keyrows;
inline constexpr auto s = section::kUploadOptions;
inline constexpr SettingKey UploadInterval = Row(s, "UploadInterval", T::Integer, "0", "0", P::Capture, G::Capture, &L::m_nUploadInterval).range(0, INT_MAX);
inline constexpr SettingKey UploadIntervalMeasure = Row(s, "UploadIntervalMeasure", T::Choice, "1", "1", P::Capture, G::Capture, &L::m_nUploadIntervalMeasure).meanings(kIntervalUnit);
inline constexpr SettingKey UploadTimeRange = Row(s, "UploadTimeRange", T::Flag, "0", "0", P::Capture, G::Capture, &L::m_bUploadTimeRange);
inline constexpr SettingKey UploadTimeRangeStartHour = Row(s, "UploadTimeRangeStartHour", T::Integer, "0", "0", P::Capture, G::Capture, &L::m_nUploadTimeRangeStartHour).range(0, 23);
inline constexpr SettingKey UploadTimeRangeStartMinute = Row(s, "UploadTimeRangeStartMinute", T::Integer, "0", "0", P::Capture, G::Capture, &L::m_nUploadTimeRangeStartMinute).range(0, 59);
inline constexpr SettingKey UploadTimeRangeEndHour = Row(s, "UploadTimeRangeEndHour", T::Integer, "0", "0", P::Capture, G::Capture, &L::m_nUploadTimeRangeEndHour).range(0, 23);
inline constexpr SettingKey UploadTimeRangeEndMinute = Row(s, "UploadTimeRangeEndMinute", T::Integer, "0", "0", P::Capture, G::Capture, &L::m_nUploadTimeRangeEndMinute).range(0, 59);
// The auto-capture-disabled flag: re-read with the schedule, written at exit.
inline constexpr SettingKey DisableUpload = Row(s, "DisableUpload", T::Flag, "0", kNoPage, P::None, G::Capture, &L::m_bDisableUpload);
inline constexpr SettingKey ArchiveInterval = Row(s, "ArchiveInterval", T::Integer, "0", "0", P::Capture, G::Capture, &L::m_nArchiveInterval).range(0, INT_MAX);
inline constexpr SettingKey NumberOfArchives = Row(s, "NumberOfArchives", T::Integer, "0", "0", P::Capture, G::Capture, &L::m_nNumberOfArchives).range(0, INT_MAX);
inline constexpr SettingKey ArchiveOrder = Row(s, "ArchiveOrder", T::Choice, "0", "0", P::Capture, G::Capture, &L::m_nArchiveOrder).meanings(kArchiveOrder);
// The archive counter: read at start-up only (the live counter runs ahead of the file).
inline constexpr SettingKey CurrentUpload = Row(s, "CurrentUpload", T::Integer, "0", kNoPage, P::None, G::None, &L::m_nCurrentUpload).range(0, INT_MAX);
inline constexpr SettingKey FTPUpload = Row(s, "FTPUpload", T::Flag, "0", "1", P::Location, G::Location, &L::m_bFTPUpload).meanings(kUploadOnOff);
inline constexpr SettingKey OnlyWhileOnline = Row(s, "OnlyWhileOnline", T::Flag, "1", "1", P::Location, G::Location, &L::m_bOnlyWhileOnline);
inline constexpr SettingKey FTPServer = Row(s, "FTPServer", T::String, "", "", P::Location, G::Location, &L::m_strFTPServer);
// No page writes the port; the directory browser and the connection test read it.
inline constexpr SettingKey FTPPort = Row(s, "FTPPort", T::Integer, "21", "21", P::Location, G::Location, &L::m_nFTPPort).range(1, 65535);
inline constexpr SettingKey FTPUsername = Row(s, "FTPUsername", T::String, "", "", P::Location, G::Location, &L::m_strFTPUsername);
inline constexpr SettingKey FTPPassword = Row(s, "FTPPassword", T::Password, "", "", P::Location, G::Location, &L::m_strFTPPassword);
inline constexpr SettingKey FTPDirectory = Row(s, "FTPDirectory", T::String, "", "", P::Location, G::Location, &L::m_strFTPDirectory);
inline constexpr SettingKey FTPFilename = Row(s, "FTPFilename", T::String, "vistrel.jpg", "vistrel.jpg", P::Location, G::Location, &L::m_strFTPFilename);
inline constexpr SettingKey NoTempFile = Row(s, "NoTempFile", T::Flag, "0", kNoPage, P::None, G::Location, &L::m_bNoTempFile);
inline constexpr SettingKey PassiveMode = Row(s, "PassiveMode", T::Flag, "0", "0", P::Location, G::Location, &L::m_bPassiveMode).meanings(kPassive);
inline constexpr SettingKey FTPTimeOut = Row(s, "FTPTimeOut", T::Integer, "45", kNoPage, P::None, G::Location, &L::m_nFTPTimeOut).range(1, INT_MAX);
inline constexpr SettingKey UseFireWall = Row(s, "UseFireWall", T::Flag, "0", "0", P::Location, G::Location, &L::m_bUseFireWall);
inline constexpr SettingKey FireWallType = Row(s, "FireWallType", T::Choice, "0", "3", P::Location, G::Location, &L::m_nFireWallType).meanings(kProxyType);
inline constexpr SettingKey FireWallServer = Row(s, "FireWallServer", T::String, "", "", P::Location, G::Location, &L::m_strFireWallServer);
inline constexpr SettingKey FireWallPort = Row(s, "FireWallPort", T::Integer, "21", "21", P::Location, G::Location, &L::m_nFireWallPort).range(1, 65535);
inline constexpr SettingKey FireWallUsername = Row(s, "FireWallUsername", T::String, "", "", P::Location, G::Location, &L::m_strFireWallUsername);
inline constexpr SettingKey FireWallPassword = Row(s, "FireWallPassword", T::Password, "", "", P::Location, G::Location, &L::m_strFireWallPassword);
inline constexpr SettingKey SaveAsFile = Row(s, "SaveAsFile", T::Flag, "1", "0", P::Location, G::Location, &L::m_bSaveAsFile);
inline constexpr SettingKey SaveAsFilename = Row(s, "SaveAsFilename", T::Path, "vistrel.jpg", "vistrel.jpg", P::Location, G::Location, &L::m_strSaveAsFilename);
// Dated copies beside the numbered archive: strftime patterns for the local and the remote copy,
// and how long (days) or how many of the local dated copies are kept (0: no limit).
inline constexpr SettingKey SaveAsPattern = Row(s, "SaveAsPattern", T::Path, "", kNoPage, P::None, G::Location, &L::m_strSaveAsPattern);
inline constexpr SettingKey RemotePattern = Row(s, "RemotePattern", T::String, "", kNoPage, P::None, G::Location, &L::m_strRemotePattern);
inline constexpr SettingKey KeepDays = Row(s, "KeepDays", T::Integer, "0", kNoPage, P::None, G::Location, &L::m_nKeepDays).range(0, 100000);
inline constexpr SettingKey KeepFiles = Row(s, "KeepFiles", T::Integer, "0", kNoPage, P::None, G::Location, &L::m_nKeepFiles).range(0, INT_MAX);
inline constexpr SettingKey SuppressErrors = Row(s, "SuppressErrors", T::Flag, "1", "0", P::General, G::General, &L::m_bSuppressErrors);
inline constexpr SettingKey FTPLog = Row(s, "FTPLog", T::Flag, "0", "0", P::General, G::General, &L::m_bFTPLog);
// FTPS: 0 none, 1 explicit TLS (AUTH TLS), 2 implicit TLS; a SHA-256 fingerprint (hex, colons
// allowed) pins the server's certificate. Missing keys keep plain FTP.
inline constexpr SettingKey FTPSecurity = Row(s, "FTPSecurity", T::Choice, "0", "0", P::Location, G::Location, &L::m_nFTPSecurity).meanings(kSecurity).security();
inline constexpr SettingKey FTPVerifyCertificate = Row(s, "FTPVerifyCertificate", T::Flag, "1", "1", P::Location, G::Location, &L::m_bFTPVerifyCertificate).meanings(kVerify).security();
// No page edits the fingerprint: a user pins it in the file.
inline constexpr SettingKey FTPCertificateFingerprint = Row(s, "FTPCertificateFingerprint", T::String, "", kNoPage, P::None, G::Location, &L::m_strFTPCertificateFingerprint);
// Where pictures go: ftp (also when missing), sftp, webdav or s3. Another word refuses the cycle.
inline constexpr SettingKey UploadTarget = Row(s, "UploadTarget", T::String, "ftp", "ftp", P::Location, G::Location, &L::m_strUploadTarget);
// SFTP: the server's host key pinned as ssh-keygen -lf prints it, or a known-hosts file, and a key file.
inline constexpr SettingKey SFTPHostKey = Row(s, "SFTPHostKey", T::String, "", "", P::Location, G::Location, &L::m_strSFTPHostKey);
inline constexpr SettingKey SFTPKnownHosts = Row(s, "SFTPKnownHosts", T::Path, "", kNoPage, P::None, G::Location, &L::m_strSFTPKnownHosts);
inline constexpr SettingKey SFTPKeyFile = Row(s, "SFTPKeyFile", T::Path, "", "", P::Location, G::Location, &L::m_strSFTPKeyFile);
inline constexpr SettingKey SFTPKeyPassphrase = Row(s, "SFTPKeyPassphrase", T::Password, "", "", P::Location, G::Location, &L::m_strSFTPKeyPassphrase);
inline constexpr SettingKey WebDAVURL = Row(s, "WebDAVURL", T::String, "", "", P::Location, G::Location, &L::m_strWebDAVURL);
inline constexpr SettingKey S3Endpoint = Row(s, "S3Endpoint", T::String, "", "", P::Location, G::Location, &L::m_strS3Endpoint);
inline constexpr SettingKey S3Region = Row(s, "S3Region", T::String, "", "", P::Location, G::Location, &L::m_strS3Region);
inline constexpr SettingKey S3Bucket = Row(s, "S3Bucket", T::String, "", "", P::Location, G::Location, &L::m_strS3Bucket);
inline constexpr SettingKey S3AccessKey = Row(s, "S3AccessKey", T::String, "", "", P::Location, G::Location, &L::m_strS3AccessKey);
inline constexpr SettingKey S3Secret = Row(s, "S3Secret", T::Password, "", "", P::Location, G::Location, &L::m_strS3Secret);
inline constexpr SettingKey S3CacheControl = Row(s, "S3CacheControl", T::String, "", "", P::Location, G::Location, &L::m_strS3CacheControl);
inline constexpr SettingKey S3StorageClass = Row(s, "S3StorageClass", T::String, "", kNoPage, P::None, G::Location, &L::m_strS3StorageClass);
// A program run after each cycle (split into words as a shell would, run without one).
inline constexpr SettingKey AfterPublish = Row(s, "AfterPublish", T::String, "", kNoPage, P::None, G::Location, &L::m_strAfterPublish);
inline constexpr SettingKey AfterPublishTimeout = Row(s, "AfterPublishTimeout", T::Integer, "30", kNoPage, P::None, G::Location, &L::m_nAfterPublishTimeout).range(1, 86400);
} // namespace UploadOptions

namespace ConnectOptions {
using namespace keyrows;
inline constexpr auto s = section::kConnectOptions;
inline constexpr SettingKey UseLAN = Row(s, "UseLAN", T::Flag, "0", "0", P::Connection, G::Connection, &L::m_bUseLAN);
inline constexpr SettingKey AskBeforeConnect = Row(s, "AskBeforeConnect", T::Flag, "1", "1", P::Connection, G::Connection, &L::m_bAskBeforeConnect);
inline constexpr SettingKey DUN = Row(s, "DUN", T::String, "", "", P::Connection, G::Connection, &L::m_strDUN);
inline constexpr SettingKey UserName = Row(s, "UserName", T::String, "", "", P::Connection, G::Connection, &L::m_strUserName);
inline constexpr SettingKey Password = Row(s, "Password", T::Password, "", "", P::Connection, G::Connection, &L::m_strPassword);
inline constexpr SettingKey PhoneNumber = Row(s, "PhoneNumber", T::String, "", "", P::Connection, G::Connection, &L::m_strPhoneNumber);
} // namespace ConnectOptions

namespace ImageOptions {
using namespace keyrows;
inline constexpr auto s = section::kImageOptions;
inline constexpr SettingKey EnableMessage = Row(s, "EnableMessage", T::Flag, "1", "1", P::Image, G::Image, &L::m_bEnableMessage);
inline constexpr SettingKey Message = Row(s, "Message", T::String, "", "", P::Image, G::Image, &L::m_strMessage);
inline constexpr SettingKey Font = Row(s, "Font", T::FontFace, "System", "System", P::Image, G::Image, &L::m_strFont);
inline constexpr SettingKey FontHeight = Row(s, "FontHeight", T::Integer, "-13", "-13", P::Image, G::Image, &L::m_nFontHeight);
inline constexpr SettingKey FontWidth = Row(s, "FontWidth", T::Integer, "0", "0", P::Image, G::Image, &L::m_nFontWidth).range(0, INT_MAX);
inline constexpr SettingKey FontWeight = Row(s, "FontWeight", T::Integer, "700", "700", P::Image, G::Image, &L::m_nFontWeight).range(0, 1000);
inline constexpr SettingKey FontItalic = Row(s, "FontItalic", T::Flag, "0", "0", P::Image, G::Image, &L::m_bFontItalic);
inline constexpr SettingKey FontColor = Row(s, "FontColor", T::Colour, "0", "16777215", P::Image, G::Image, &L::m_crFontColor);
inline constexpr SettingKey Alignment = Row(s, "Alignment", T::Integer, "1", "1", P::Image, G::Image, &L::m_nAlignment).range(0, 5);
inline constexpr SettingKey ShadowText = Row(s, "ShadowText", T::Flag, "1", "1", P::Image, G::Image, &L::m_bShadowText);
inline constexpr SettingKey Stamp = Row(s, "Stamp", T::Flag, "1", "1", P::Image, G::Image, &L::m_bStamp);
inline constexpr SettingKey DateTimeFormat = Row(s, "DateTimeFormat", T::Integer, "0", "0", P::Image, G::Image, &L::m_nDateTimeFormat).range(0, 5);
// A strftime pattern for the date/time stamp; when set it replaces the fixed layout.
inline constexpr SettingKey TimeFormat = Row(s, "TimeFormat", T::String, "", kNoPage, P::None, G::Image, &L::m_strTimeFormat);
inline constexpr SettingKey TimeFont = Row(s, "TimeFont", T::FontFace, "System", "System", P::Image, G::Image, &L::m_strTimeFont);
inline constexpr SettingKey TimeFontHeight = Row(s, "TimeFontHeight", T::Integer, "-13", "-13", P::Image, G::Image, &L::m_nTimeFontHeight);
inline constexpr SettingKey TimeFontWidth = Row(s, "TimeFontWidth", T::Integer, "0", "0", P::Image, G::Image, &L::m_nTimeFontWidth).range(0, INT_MAX);
inline constexpr SettingKey TimeFontWeight = Row(s, "TimeFontWeight", T::Integer, "700", "700", P::Image, G::Image, &L::m_nTimeFontWeight).range(0, 1000);
inline constexpr SettingKey TimeFontItalic = Row(s, "TimeFontItalic", T::Flag, "0", "0", P::Image, G::Image, &L::m_bTimeFontItalic);
inline constexpr SettingKey TimeFontColor = Row(s, "TimeFontColor", T::Colour, "0", "16777215", P::Image, G::Image, &L::m_crTimeFontColor);
inline constexpr SettingKey TimeAlignment = Row(s, "TimeAlignment", T::Integer, "4", "4", P::Image, G::Image, &L::m_nTimeAlignment).range(0, 5);
inline constexpr SettingKey TimeShadowText = Row(s, "TimeShadowText", T::Flag, "1", "1", P::Image, G::Image, &L::m_bTimeShadowText);
// Read only by the migration of older layouts.
inline constexpr SettingKey TwelveHourTime = Row(s, "TwelveHourTime", T::Flag, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey EnableOverlay = Row(s, "EnableOverlay", T::Flag, "0", "0", P::Image, G::Image, &L::m_bEnableOverlay);
inline constexpr SettingKey OverlayFilename = Row(s, "OverlayFilename", T::Path, "", "", P::Image, G::Image, &L::m_strOverlayFilename);
inline constexpr SettingKey OverlayAlignment = Row(s, "OverlayAlignment", T::Integer, "0", "0", P::Image, G::Image, &L::m_nOverlayAlignment).range(0, 8);
inline constexpr SettingKey OverlayTransparency = Row(s, "OverlayTransparency", T::Flag, "0", "0", P::Image, G::Image, &L::m_bOverlayTransparency);
inline constexpr SettingKey Quality = Row(s, "Quality", T::Integer, "75", "75", P::Image, G::Image, &L::m_nQuality).range(1, 100);
inline constexpr SettingKey ProgressiveJPG = Row(s, "ProgressiveJPG", T::Flag, "0", "1", P::Image, G::Image, &L::m_bProgressiveJPG);
// The picture turned and mirrored as it comes from the camera, before the logo and the texts.
inline constexpr SettingKey Rotate = Row(s, "Rotate", T::Choice, "0", kNoPage, P::None, G::Image, &L::m_nRotate).meanings(kRotate);
inline constexpr SettingKey Mirror = Row(s, "Mirror", T::Flag, "0", kNoPage, P::None, G::Image, &L::m_bMirror).meanings(kMirror);
} // namespace ImageOptions

// The chosen capture driver, and the eleven fields of the chosen video format (read at the point
// of use, see ReadVideoFormatSettings).
namespace ImageFormat {
using namespace keyrows;
inline constexpr auto s = section::kImageFormat;
inline constexpr SettingKey CaptureDevice = Row(s, "CaptureDevice", T::Integer, "0", "0", P::Device, G::Device, &L::m_nCaptureDevice).range(-1, INT_MAX); // -1: none chosen
// The chosen driver by what it is: a device node, a /dev/v4l/by-id name, a network camera's name
// or "Test Pattern". When set it wins over the position, and a missing one is never replaced.
inline constexpr SettingKey CaptureDevicePath = Row(s, "CaptureDevicePath", T::String, "", kNoPage, P::None, G::Device, &L::m_strCaptureDevicePath);
// Camera controls set at connect: "name=value" pairs split by ',' or ';' ("brightness=140,
// exposure_auto=1"), names as --list-devices shows them.
inline constexpr SettingKey CameraControls = Row(s, "CameraControls", T::String, "", kNoPage, P::None, G::Device, &L::m_strCameraControls);
inline constexpr SettingKey Size = Row(s, "Size", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey Width = Row(s, "Width", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey Height = Row(s, "Height", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey Planes = Row(s, "Planes", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey BitCount = Row(s, "BitCount", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey Compression = Row(s, "Compression", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey SizeImage = Row(s, "SizeImage", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey XPelsPerMeter = Row(s, "XPelsPerMeter", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey YPelsPerMeter = Row(s, "YPelsPerMeter", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey ClrUsed = Row(s, "ClrUsed", T::Integer, "0", kNoPage, P::None, G::None);
inline constexpr SettingKey ClrImportant = Row(s, "ClrImportant", T::Integer, "0", kNoPage, P::None, G::None);
} // namespace ImageFormat

namespace DeviceOptions {
using namespace keyrows;
inline constexpr auto s = section::kDeviceOptions;
inline constexpr SettingKey DisablePreview = Row(s, "DisablePreview", T::Flag, "0", "0", P::Device, G::Device, &L::m_bDisablePreview);
inline constexpr SettingKey PreviewLeadTime = Row(s, "PreviewLeadTime", T::Integer, "10", "10", P::Device, G::Device, &L::m_nPreviewLeadTime).range(0, 3600);
inline constexpr SettingKey PreviewRate = Row(s, "PreviewRate", T::Integer, "25", "25", P::Device, G::Device, &L::m_nPreviewRate).range(1, 45);
} // namespace DeviceOptions

namespace Install {
using namespace keyrows;
inline constexpr auto s = section::kInstall;
// Written by the installer only; read by the full load (with a trailing '/').
inline constexpr SettingKey Directory = Row(s, "Directory", T::Path, "", kNoPage, P::None, G::None, &L::m_strInstallDirectory);
} // namespace Install

// Cameras on the network, listed as capture drivers; a slot without a URL is empty. The camera
// dialog (not a page) writes the first four keys of a slot; the certificate and time-limit keys
// are set in the file only.
namespace NetworkCameras {
using namespace keyrows;
inline constexpr auto s = section::kNetworkCameras;
inline constexpr SettingKey Camera1Name = Row(s, "Camera1Name", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera1URL = Row(s, "Camera1URL", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera1Username = Row(s, "Camera1Username", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera1Password = Row(s, "Camera1Password", T::Password, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera1VerifyCertificate = Row(s, "Camera1VerifyCertificate", T::Flag, "1", kNoPage, P::None, G::None).meanings(kVerify);
inline constexpr SettingKey Camera1CertificateFingerprint = Row(s, "Camera1CertificateFingerprint", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera1TimeOut = Row(s, "Camera1TimeOut", T::Integer, "3", kNoPage, P::None, G::None).range(1, 60);
inline constexpr SettingKey Camera2Name = Row(s, "Camera2Name", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera2URL = Row(s, "Camera2URL", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera2Username = Row(s, "Camera2Username", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera2Password = Row(s, "Camera2Password", T::Password, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera2VerifyCertificate = Row(s, "Camera2VerifyCertificate", T::Flag, "1", kNoPage, P::None, G::None).meanings(kVerify);
inline constexpr SettingKey Camera2CertificateFingerprint = Row(s, "Camera2CertificateFingerprint", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera2TimeOut = Row(s, "Camera2TimeOut", T::Integer, "3", kNoPage, P::None, G::None).range(1, 60);
inline constexpr SettingKey Camera3Name = Row(s, "Camera3Name", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera3URL = Row(s, "Camera3URL", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera3Username = Row(s, "Camera3Username", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera3Password = Row(s, "Camera3Password", T::Password, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera3VerifyCertificate = Row(s, "Camera3VerifyCertificate", T::Flag, "1", kNoPage, P::None, G::None).meanings(kVerify);
inline constexpr SettingKey Camera3CertificateFingerprint = Row(s, "Camera3CertificateFingerprint", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera3TimeOut = Row(s, "Camera3TimeOut", T::Integer, "3", kNoPage, P::None, G::None).range(1, 60);
inline constexpr SettingKey Camera4Name = Row(s, "Camera4Name", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera4URL = Row(s, "Camera4URL", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera4Username = Row(s, "Camera4Username", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera4Password = Row(s, "Camera4Password", T::Password, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera4VerifyCertificate = Row(s, "Camera4VerifyCertificate", T::Flag, "1", kNoPage, P::None, G::None).meanings(kVerify);
inline constexpr SettingKey Camera4CertificateFingerprint = Row(s, "Camera4CertificateFingerprint", T::String, "", kNoPage, P::None, G::None);
inline constexpr SettingKey Camera4TimeOut = Row(s, "Camera4TimeOut", T::Integer, "3", kNoPage, P::None, G::None).range(1, 60);
} // namespace NetworkCameras
// clang-format on

// The whole table in file order: a new key is a row above and its line here.
inline constexpr const SettingKey* kAll[] = {
    &License::INIVersion,

    &Options::RunMinimized,
    &Options::UploadOnStart,
    &Options::HideWhenMinimized,
    &Options::ViewDisplaysLastUploadImage,
    &Options::UseSound,
    &Options::SoundFile,
    &Options::DeleteBeforeMove,
    &Options::SaveAutoCaptureStatus,
    &Options::ErrorLog,

    &UploadOptions::UploadInterval,
    &UploadOptions::UploadIntervalMeasure,
    &UploadOptions::UploadTimeRange,
    &UploadOptions::UploadTimeRangeStartHour,
    &UploadOptions::UploadTimeRangeStartMinute,
    &UploadOptions::UploadTimeRangeEndHour,
    &UploadOptions::UploadTimeRangeEndMinute,
    &UploadOptions::DisableUpload,
    &UploadOptions::ArchiveInterval,
    &UploadOptions::NumberOfArchives,
    &UploadOptions::ArchiveOrder,
    &UploadOptions::CurrentUpload,
    &UploadOptions::FTPUpload,
    &UploadOptions::OnlyWhileOnline,
    &UploadOptions::FTPServer,
    &UploadOptions::FTPPort,
    &UploadOptions::FTPUsername,
    &UploadOptions::FTPPassword,
    &UploadOptions::FTPDirectory,
    &UploadOptions::FTPFilename,
    &UploadOptions::NoTempFile,
    &UploadOptions::PassiveMode,
    &UploadOptions::FTPTimeOut,
    &UploadOptions::UseFireWall,
    &UploadOptions::FireWallType,
    &UploadOptions::FireWallServer,
    &UploadOptions::FireWallPort,
    &UploadOptions::FireWallUsername,
    &UploadOptions::FireWallPassword,
    &UploadOptions::SaveAsFile,
    &UploadOptions::SaveAsFilename,
    &UploadOptions::SaveAsPattern,
    &UploadOptions::RemotePattern,
    &UploadOptions::KeepDays,
    &UploadOptions::KeepFiles,
    &UploadOptions::SuppressErrors,
    &UploadOptions::FTPLog,
    &UploadOptions::FTPSecurity,
    &UploadOptions::FTPVerifyCertificate,
    &UploadOptions::FTPCertificateFingerprint,
    &UploadOptions::UploadTarget,
    &UploadOptions::SFTPHostKey,
    &UploadOptions::SFTPKnownHosts,
    &UploadOptions::SFTPKeyFile,
    &UploadOptions::SFTPKeyPassphrase,
    &UploadOptions::WebDAVURL,
    &UploadOptions::S3Endpoint,
    &UploadOptions::S3Region,
    &UploadOptions::S3Bucket,
    &UploadOptions::S3AccessKey,
    &UploadOptions::S3Secret,
    &UploadOptions::S3CacheControl,
    &UploadOptions::S3StorageClass,
    &UploadOptions::AfterPublish,
    &UploadOptions::AfterPublishTimeout,

    &ConnectOptions::UseLAN,
    &ConnectOptions::AskBeforeConnect,
    &ConnectOptions::DUN,
    &ConnectOptions::UserName,
    &ConnectOptions::Password,
    &ConnectOptions::PhoneNumber,

    &ImageOptions::EnableMessage,
    &ImageOptions::Message,
    &ImageOptions::Font,
    &ImageOptions::FontHeight,
    &ImageOptions::FontWidth,
    &ImageOptions::FontWeight,
    &ImageOptions::FontItalic,
    &ImageOptions::FontColor,
    &ImageOptions::Alignment,
    &ImageOptions::ShadowText,
    &ImageOptions::Stamp,
    &ImageOptions::DateTimeFormat,
    &ImageOptions::TimeFormat,
    &ImageOptions::TimeFont,
    &ImageOptions::TimeFontHeight,
    &ImageOptions::TimeFontWidth,
    &ImageOptions::TimeFontWeight,
    &ImageOptions::TimeFontItalic,
    &ImageOptions::TimeFontColor,
    &ImageOptions::TimeAlignment,
    &ImageOptions::TimeShadowText,
    &ImageOptions::TwelveHourTime,
    &ImageOptions::EnableOverlay,
    &ImageOptions::OverlayFilename,
    &ImageOptions::OverlayAlignment,
    &ImageOptions::OverlayTransparency,
    &ImageOptions::Quality,
    &ImageOptions::ProgressiveJPG,
    &ImageOptions::Rotate,
    &ImageOptions::Mirror,

    &ImageFormat::CaptureDevice,
    &ImageFormat::CaptureDevicePath,
    &ImageFormat::CameraControls,
    &ImageFormat::Size,
    &ImageFormat::Width,
    &ImageFormat::Height,
    &ImageFormat::Planes,
    &ImageFormat::BitCount,
    &ImageFormat::Compression,
    &ImageFormat::SizeImage,
    &ImageFormat::XPelsPerMeter,
    &ImageFormat::YPelsPerMeter,
    &ImageFormat::ClrUsed,
    &ImageFormat::ClrImportant,

    &DeviceOptions::DisablePreview,
    &DeviceOptions::PreviewLeadTime,
    &DeviceOptions::PreviewRate,

    &Install::Directory,

    &NetworkCameras::Camera1Name,
    &NetworkCameras::Camera1URL,
    &NetworkCameras::Camera1Username,
    &NetworkCameras::Camera1Password,
    &NetworkCameras::Camera1VerifyCertificate,
    &NetworkCameras::Camera1CertificateFingerprint,
    &NetworkCameras::Camera1TimeOut,
    &NetworkCameras::Camera2Name,
    &NetworkCameras::Camera2URL,
    &NetworkCameras::Camera2Username,
    &NetworkCameras::Camera2Password,
    &NetworkCameras::Camera2VerifyCertificate,
    &NetworkCameras::Camera2CertificateFingerprint,
    &NetworkCameras::Camera2TimeOut,
    &NetworkCameras::Camera3Name,
    &NetworkCameras::Camera3URL,
    &NetworkCameras::Camera3Username,
    &NetworkCameras::Camera3Password,
    &NetworkCameras::Camera3VerifyCertificate,
    &NetworkCameras::Camera3CertificateFingerprint,
    &NetworkCameras::Camera3TimeOut,
    &NetworkCameras::Camera4Name,
    &NetworkCameras::Camera4URL,
    &NetworkCameras::Camera4Username,
    &NetworkCameras::Camera4Password,
    &NetworkCameras::Camera4VerifyCertificate,
    &NetworkCameras::Camera4CertificateFingerprint,
    &NetworkCameras::Camera4TimeOut,
};

// The keys of each network camera slot, slot 1 first.
struct CameraSlotKeys {
    const SettingKey& name;
    const SettingKey& url;
    const SettingKey& username;
    const SettingKey& password;
    const SettingKey& verifyCertificate;
    const SettingKey& certificateFingerprint;
    const SettingKey& timeOut;
};
inline constexpr CameraSlotKeys kCameraSlots[] = {
    {NetworkCameras::Camera1Name, NetworkCameras::Camera1URL, NetworkCameras::Camera1Username,
     NetworkCameras::Camera1Password, NetworkCameras::Camera1VerifyCertificate,
     NetworkCameras::Camera1CertificateFingerprint, NetworkCameras::Camera1TimeOut},
    {NetworkCameras::Camera2Name, NetworkCameras::Camera2URL, NetworkCameras::Camera2Username,
     NetworkCameras::Camera2Password, NetworkCameras::Camera2VerifyCertificate,
     NetworkCameras::Camera2CertificateFingerprint, NetworkCameras::Camera2TimeOut},
    {NetworkCameras::Camera3Name, NetworkCameras::Camera3URL, NetworkCameras::Camera3Username,
     NetworkCameras::Camera3Password, NetworkCameras::Camera3VerifyCertificate,
     NetworkCameras::Camera3CertificateFingerprint, NetworkCameras::Camera3TimeOut},
    {NetworkCameras::Camera4Name, NetworkCameras::Camera4URL, NetworkCameras::Camera4Username,
     NetworkCameras::Camera4Password, NetworkCameras::Camera4VerifyCertificate,
     NetworkCameras::Camera4CertificateFingerprint, NetworkCameras::Camera4TimeOut},
};

// The five keys of a stamp font: the banner's and the date/time stamp's.
struct FontKeys {
    const SettingKey& face;
    const SettingKey& height;
    const SettingKey& width;
    const SettingKey& weight;
    const SettingKey& italic;
};
inline constexpr FontKeys kBannerFont = {ImageOptions::Font, ImageOptions::FontHeight,
                                         ImageOptions::FontWidth, ImageOptions::FontWeight,
                                         ImageOptions::FontItalic};
inline constexpr FontKeys kStampFont = {ImageOptions::TimeFont, ImageOptions::TimeFontHeight,
                                        ImageOptions::TimeFontWidth, ImageOptions::TimeFontWeight,
                                        ImageOptions::TimeFontItalic};

// The eleven fields of the video format, in their stored order.
inline constexpr const SettingKey* kVideoFormat[] = {
    &ImageFormat::Size,      &ImageFormat::Width,         &ImageFormat::Height,
    &ImageFormat::Planes,    &ImageFormat::BitCount,      &ImageFormat::Compression,
    &ImageFormat::SizeImage, &ImageFormat::XPelsPerMeter, &ImageFormat::YPelsPerMeter,
    &ImageFormat::ClrUsed,   &ImageFormat::ClrImportant};

} // namespace keys

// The whole table as a range of rows, in file order.
class SettingKeyList {
  public:
    class iterator {
      public:
        explicit iterator(const SettingKey* const* at) : m_at(at) {}
        const SettingKey& operator*() const { return **m_at; }
        const SettingKey* operator->() const { return *m_at; }
        iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const iterator&) const = default;

      private:
        const SettingKey* const* m_at;
    };
    iterator begin() const { return iterator(std::begin(keys::kAll)); }
    iterator end() const { return iterator(std::end(keys::kAll)); }
    std::size_t size() const { return std::size(keys::kAll); }
};

// Every key of the settings file, section by section; no other key exists.
inline SettingKeyList SettingKeys()
{
    return {};
}

// The catalogue entry for section/key (names compared without regard to case), or nullptr.
const SettingKey* FindSettingKey(std::string_view section, std::string_view key);

// A key read from the settings file with the program's default from its row (passwords come back
// in clear), and written as its row's type says.
int ReadSettingInt(const SettingKey& key);
std::string ReadSettingString(const SettingKey& key);
bool WriteSetting(const SettingKey& key, int value, std::string* error = nullptr);
bool WriteSetting(const SettingKey& key, std::string_view value, std::string* error = nullptr);

// The same by name. A key that is not in the catalogue reads with default 0 / "".
int ReadSettingInt(std::string_view section, std::string_view key);
std::string ReadSettingString(std::string_view section, std::string_view key);

// The same with the default a settings page shows for a missing key (falling back to the
// program's default for keys no page shows). Passwords come back in clear.
int ReadPageInt(const SettingKey& key);
std::string ReadPageString(const SettingKey& key);
int ReadPageInt(std::string_view section, std::string_view key);
std::string ReadPageString(std::string_view section, std::string_view key);

// Whether the settings file has the key at all (an empty value counts as present).
bool SettingPresent(const SettingKey& key);

// The eleven fields of the chosen video format (ImageFormat), each under its field's name, in
// this order. Planes and BitCount are 16-bit fields written as integers.
struct VideoFormatSettings {
    int Size = 0;
    int Width = 0;
    int Height = 0;
    int Planes = 0;
    int BitCount = 0;
    int Compression = 0;
    int SizeImage = 0;
    int XPelsPerMeter = 0;
    int YPelsPerMeter = 0;
    int ClrUsed = 0;
    int ClrImportant = 0;
};
VideoFormatSettings ReadVideoFormatSettings();
// Writes all eleven fields; false when any write failed.
bool WriteVideoFormatSettings(const VideoFormatSettings& format);

} // namespace vistrel
