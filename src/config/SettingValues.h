#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel {

struct SettingKey;

// Whether a value as the settings file holds it reads as its key's type says. Nothing here
// changes what a value means (an integer read still takes optional blanks, a sign and the leading
// digits, else the default); it only finds the values whose meaning a user would not guess, and
// says what they mean now and what is accepted:
//   UploadOptions/FTPUpload=yes is not a number: read as 0 (upload off); use 1 or 0
//   ImageOptions/Quality=-5: below 1, read as -5; use 1 to 100
// For a key that decides security the text says that FTP log-ons are refused instead.
std::optional<std::string> CheckSettingValue(const SettingKey& key, std::string_view value);

// The warnings for every key the settings file has, in the order of the key table.
std::vector<std::string> SettingsValueProblems();

// The warnings of the keys that decide the FTP connection's security, joined by "; ", or empty
// when those keys are missing or valid. A non-empty text refuses every FTP log-on.
std::string FtpSecurityRefusal();

} // namespace vistrel
