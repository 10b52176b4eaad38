#include "config/KeyCatalogue.h"

#include "config/PasswordScrambling.h"
#include "config/SettingsFile.h"

#include <array>
#include <charconv>

namespace vistrel {

namespace {

using T = SettingType;
constexpr const char* kNoPage = nullptr;

// section, key, type, program default, page default ("If absent" on the settings page)
constexpr SettingKey kKeys[] = {
    {"License", "INIVersion", T::Integer, "0", kNoPage},

    {"Options", "RunMinimized", T::Flag, "0", "0"},
    {"Options", "UploadOnStart", T::Flag, "0", "0"},
    {"Options", "HideWhenMinimized", T::Flag, "0", "0"},
    {"Options", "ViewDisplaysLastUploadImage", T::Integer, "1", "0"},
    {"Options", "UseSound", T::Flag, "0", "0"},
    {"Options", "SoundFile", T::String, "shutter.wav", "shutter.wav"},
    {"Options", "DeleteBeforeMove", T::Flag, "0", "0"},
    {"Options", "SaveAutoCaptureStatus", T::Flag, "0", "0"},
    {"Options", "ErrorLog", T::Flag, "0", "0"},

    {"UploadOptions", "UploadInterval", T::Integer, "0", "0"},
    {"UploadOptions", "UploadIntervalMeasure", T::Integer, "1", "1"},
    {"UploadOptions", "UploadTimeRange", T::Flag, "0", "0"},
    {"UploadOptions", "UploadTimeRangeStartHour", T::Integer, "0", "0"},
    {"UploadOptions", "UploadTimeRangeStartMinute", T::Integer, "0", "0"},
    {"UploadOptions", "UploadTimeRangeEndHour", T::Integer, "0", "0"},
    {"UploadOptions", "UploadTimeRangeEndMinute", T::Integer, "0", "0"},
    {"UploadOptions", "DisableUpload", T::Flag, "0", kNoPage},
    {"UploadOptions", "ArchiveInterval", T::Integer, "0", "0"},
    {"UploadOptions", "NumberOfArchives", T::Integer, "0", "0"},
    {"UploadOptions", "ArchiveOrder", T::Integer, "0", "0"},
    {"UploadOptions", "CurrentUpload", T::Integer, "0", kNoPage},
    {"UploadOptions", "FTPUpload", T::Flag, "0", "1"},
    {"UploadOptions", "OnlyWhileOnline", T::Flag, "1", "1"},
    {"UploadOptions", "FTPServer", T::String, "", ""},
    {"UploadOptions", "FTPPort", T::Integer, "21", "21"}, // read by the directory browser
    {"UploadOptions", "FTPUsername", T::String, "", ""},
    {"UploadOptions", "FTPPassword", T::Password, "", ""},
    {"UploadOptions", "FTPDirectory", T::String, "", ""},
    {"UploadOptions", "FTPFilename", T::String, "vistrel.jpg", "vistrel.jpg"},
    {"UploadOptions", "NoTempFile", T::Flag, "0", kNoPage},
    {"UploadOptions", "PassiveMode", T::Flag, "0", "0"},
    {"UploadOptions", "FTPTimeOut", T::Integer, "45", kNoPage},
    {"UploadOptions", "UseFireWall", T::Flag, "0", "0"},
    {"UploadOptions", "FireWallType", T::Integer, "0", "3"},
    {"UploadOptions", "FireWallServer", T::String, "", ""},
    {"UploadOptions", "FireWallPort", T::Integer, "21", "21"},
    {"UploadOptions", "FireWallUsername", T::String, "", ""},
    {"UploadOptions", "FireWallPassword", T::Password, "", ""},
    {"UploadOptions", "SaveAsFile", T::Flag, "1", "0"},
    {"UploadOptions", "SaveAsFilename", T::String, "vistrel.jpg", "vistrel.jpg"},
    {"UploadOptions", "SuppressErrors", T::Flag, "1", "0"},
    {"UploadOptions", "FTPLog", T::Flag, "0", "0"},
    // FTPS: 0 none, 1 explicit TLS (AUTH TLS), 2 implicit TLS; a SHA-256 fingerprint (hex, colons
    // allowed) pins the server's certificate. Missing keys keep plain FTP.
    {"UploadOptions", "FTPSecurity", T::Integer, "0", "0"},
    {"UploadOptions", "FTPVerifyCertificate", T::Flag, "1", "1"},
    {"UploadOptions", "FTPCertificateFingerprint", T::String, "", ""},

    {"ConnectOptions", "UseLAN", T::Flag, "0", "0"},
    {"ConnectOptions", "AskBeforeConnect", T::Flag, "1", "1"},
    {"ConnectOptions", "DUN", T::String, "", ""},
    {"ConnectOptions", "UserName", T::String, "", ""},
    {"ConnectOptions", "Password", T::Password, "", ""},
    {"ConnectOptions", "PhoneNumber", T::String, "", ""},

    {"ImageOptions", "EnableMessage", T::Flag, "1", "1"},
    {"ImageOptions", "Message", T::String, "", ""},
    {"ImageOptions", "Font", T::String, "System", "System"},
    {"ImageOptions", "FontHeight", T::Integer, "-13", "-13"},
    {"ImageOptions", "FontWidth", T::Integer, "0", "0"},
    {"ImageOptions", "FontWeight", T::Integer, "700", "700"},
    {"ImageOptions", "FontItalic", T::Flag, "0", "0"},
    {"ImageOptions", "FontColor", T::Colour, "0", "16777215"},
    {"ImageOptions", "Alignment", T::Integer, "1", "1"},
    {"ImageOptions", "ShadowText", T::Flag, "1", "1"},
    {"ImageOptions", "Stamp", T::Flag, "1", "1"},
    {"ImageOptions", "DateTimeFormat", T::Integer, "0", "0"},
    {"ImageOptions", "TimeFont", T::String, "System", "System"},
    {"ImageOptions", "TimeFontHeight", T::Integer, "-13", "-13"},
    {"ImageOptions", "TimeFontWidth", T::Integer, "0", "0"},
    {"ImageOptions", "TimeFontWeight", T::Integer, "700", "700"},
    {"ImageOptions", "TimeFontItalic", T::Flag, "0", "0"},
    {"ImageOptions", "TimeFontColor", T::Colour, "0", "16777215"},
    {"ImageOptions", "TimeAlignment", T::Integer, "4", "4"},
    {"ImageOptions", "TimeShadowText", T::Flag, "1", "1"},
    {"ImageOptions", "TwelveHourTime", T::Flag, "0", kNoPage}, // read only by the migration
    {"ImageOptions", "EnableOverlay", T::Flag, "0", "0"},
    {"ImageOptions", "OverlayFilename", T::String, "", ""},
    {"ImageOptions", "OverlayAlignment", T::Integer, "0", "0"},
    {"ImageOptions", "OverlayTransparency", T::Flag, "0", "0"},
    {"ImageOptions", "Quality", T::Integer, "75", "75"},
    {"ImageOptions", "ProgressiveJPG", T::Flag, "0", "1"},

    {"ImageFormat", "CaptureDevice", T::Integer, "0", "0"}, // -1: none chosen
    {"ImageFormat", "Size", T::Integer, "0", kNoPage},
    {"ImageFormat", "Width", T::Integer, "0", kNoPage},
    {"ImageFormat", "Height", T::Integer, "0", kNoPage},
    {"ImageFormat", "Planes", T::Integer, "0", kNoPage},
    {"ImageFormat", "BitCount", T::Integer, "0", kNoPage},
    {"ImageFormat", "Compression", T::Integer, "0", kNoPage},
    {"ImageFormat", "SizeImage", T::Integer, "0", kNoPage},
    {"ImageFormat", "XPelsPerMeter", T::Integer, "0", kNoPage},
    {"ImageFormat", "YPelsPerMeter", T::Integer, "0", kNoPage},
    {"ImageFormat", "ClrUsed", T::Integer, "0", kNoPage},
    {"ImageFormat", "ClrImportant", T::Integer, "0", kNoPage},

    {"DeviceOptions", "DisablePreview", T::Flag, "0", "0"},
    {"DeviceOptions", "PreviewLeadTime", T::Integer, "10", "10"},
    {"DeviceOptions", "PreviewRate", T::Integer, "25", "25"},

    {"Install", "Directory", T::String, "", kNoPage}, // written by the installer only

    // Cameras on the network, listed as capture drivers; a slot without a URL is empty.
    {"NetworkCameras", "Camera1Name", T::String, "", ""},
    {"NetworkCameras", "Camera1URL", T::String, "", ""},
    {"NetworkCameras", "Camera1Username", T::String, "", ""},
    {"NetworkCameras", "Camera1Password", T::Password, "", ""},
    {"NetworkCameras", "Camera1VerifyCertificate", T::Flag, "1", kNoPage},
    {"NetworkCameras", "Camera1CertificateFingerprint", T::String, "", kNoPage},
    {"NetworkCameras", "Camera1TimeOut", T::Integer, "3", kNoPage},
    {"NetworkCameras", "Camera2Name", T::String, "", ""},
    {"NetworkCameras", "Camera2URL", T::String, "", ""},
    {"NetworkCameras", "Camera2Username", T::String, "", ""},
    {"NetworkCameras", "Camera2Password", T::Password, "", ""},
    {"NetworkCameras", "Camera2VerifyCertificate", T::Flag, "1", kNoPage},
    {"NetworkCameras", "Camera2CertificateFingerprint", T::String, "", kNoPage},
    {"NetworkCameras", "Camera2TimeOut", T::Integer, "3", kNoPage},
    {"NetworkCameras", "Camera3Name", T::String, "", ""},
    {"NetworkCameras", "Camera3URL", T::String, "", ""},
    {"NetworkCameras", "Camera3Username", T::String, "", ""},
    {"NetworkCameras", "Camera3Password", T::Password, "", ""},
    {"NetworkCameras", "Camera3VerifyCertificate", T::Flag, "1", kNoPage},
    {"NetworkCameras", "Camera3CertificateFingerprint", T::String, "", kNoPage},
    {"NetworkCameras", "Camera3TimeOut", T::Integer, "3", kNoPage},
    {"NetworkCameras", "Camera4Name", T::String, "", ""},
    {"NetworkCameras", "Camera4URL", T::String, "", ""},
    {"NetworkCameras", "Camera4Username", T::String, "", ""},
    {"NetworkCameras", "Camera4Password", T::Password, "", ""},
    {"NetworkCameras", "Camera4VerifyCertificate", T::Flag, "1", kNoPage},
    {"NetworkCameras", "Camera4CertificateFingerprint", T::String, "", kNoPage},
    {"NetworkCameras", "Camera4TimeOut", T::Integer, "3", kNoPage},
};

int toInt(std::string_view text)
{
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

int SettingKey::programDefaultInt() const
{
    return toInt(programDefault);
}

int SettingKey::pageDefaultInt() const
{
    return pageDefault ? toInt(pageDefault) : programDefaultInt();
}

std::span<const SettingKey> SettingKeys()
{
    return kKeys;
}

const SettingKey* FindSettingKey(std::string_view sectionName, std::string_view key)
{
    for (const SettingKey& k : kKeys) {
        if (sameName(k.section, sectionName) && sameName(k.key, key))
            return &k;
    }
    return nullptr;
}

int ReadSettingInt(std::string_view sectionName, std::string_view key)
{
    const SettingKey* k = FindSettingKey(sectionName, key);
    return IniReadInt(sectionName, key, k ? k->programDefaultInt() : 0);
}

std::string ReadSettingString(std::string_view sectionName, std::string_view key)
{
    const SettingKey* k = FindSettingKey(sectionName, key);
    if (k && k->type == SettingType::Password)
        return IniReadPassword(sectionName, key);
    return IniReadString(sectionName, key, k ? k->programDefault : std::string_view());
}

int ReadPageInt(std::string_view sectionName, std::string_view key)
{
    const SettingKey* k = FindSettingKey(sectionName, key);
    return IniReadInt(sectionName, key, k ? k->pageDefaultInt() : 0);
}

std::string ReadPageString(std::string_view sectionName, std::string_view key)
{
    const SettingKey* k = FindSettingKey(sectionName, key);
    if (k && k->type == SettingType::Password)
        return IniReadPassword(sectionName, key);
    if (!k)
        return IniReadString(sectionName, key, "");
    return IniReadString(sectionName, key,
                         k->pageDefault ? std::string_view(k->pageDefault) : k->programDefault);
}

namespace {

struct FormatField {
    std::string_view key;
    int VideoFormatSettings::*member;
};

constexpr std::array<FormatField, 11> kFormatFields = {{
    {"Size", &VideoFormatSettings::Size},
    {"Width", &VideoFormatSettings::Width},
    {"Height", &VideoFormatSettings::Height},
    {"Planes", &VideoFormatSettings::Planes},
    {"BitCount", &VideoFormatSettings::BitCount},
    {"Compression", &VideoFormatSettings::Compression},
    {"SizeImage", &VideoFormatSettings::SizeImage},
    {"XPelsPerMeter", &VideoFormatSettings::XPelsPerMeter},
    {"YPelsPerMeter", &VideoFormatSettings::YPelsPerMeter},
    {"ClrUsed", &VideoFormatSettings::ClrUsed},
    {"ClrImportant", &VideoFormatSettings::ClrImportant},
}};

} // namespace

VideoFormatSettings ReadVideoFormatSettings()
{
    VideoFormatSettings format;
    for (const auto& f : kFormatFields)
        format.*f.member = ReadSettingInt(section::kImageFormat, f.key);
    return format;
}

bool WriteVideoFormatSettings(const VideoFormatSettings& format)
{
    bool ok = true;
    for (const auto& f : kFormatFields)
        ok = IniWriteInt(section::kImageFormat, f.key, format.*f.member) && ok;
    return ok;
}

} // namespace vistrel
