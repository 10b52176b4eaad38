#pragma once

#include <span>
#include <string>
#include <string_view>

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
    Integer,  // signed decimal ("%d"); ranges and units are documented with each key
    Flag,     // 0 or 1; any non-zero value counts as set
    Colour,   // 0x00BBGGRR as a decimal integer: 0 black, 16777215 white
    String,   // as written, at most 1023 characters read back
    Password, // a string stored scrambled (config/PasswordScrambling.h)
};

// One key of the settings file. Numbers are given as their decimal text.
struct SettingKey {
    std::string_view section;
    std::string_view key;
    SettingType type;
    // What the running program assumes when the key is missing.
    std::string_view programDefault;
    // What the settings page editing the key shows (and writes back on OK or Apply) when the key
    // is missing; nullptr for keys no page shows.
    const char* pageDefault;

    bool isNumeric() const { return type != SettingType::String && type != SettingType::Password; }
    int programDefaultInt() const;
    int pageDefaultInt() const;
};

// Every key of the settings file, section by section; no other key exists.
std::span<const SettingKey> SettingKeys();

// The catalogue entry for section/key (names compared without regard to case), or nullptr.
const SettingKey* FindSettingKey(std::string_view section, std::string_view key);

// Reads a key from the settings file with the program's default from the catalogue. A key that
// is not in the catalogue reads with default 0 / "".
int ReadSettingInt(std::string_view section, std::string_view key);
std::string ReadSettingString(std::string_view section, std::string_view key);

// The same with the default a settings page shows for a missing key (falling back to the
// program's default for keys no page shows). Passwords come back in clear.
int ReadPageInt(std::string_view section, std::string_view key);
std::string ReadPageString(std::string_view section, std::string_view key);

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
