#pragma once

#include <string>
#include <string_view>

namespace vistrel {

// Stored passwords (UploadOptions/FTPPassword, UploadOptions/FireWallPassword,
// ConnectOptions/Password) are kept in the settings file scrambled with a fixed key. This hides
// them from a casual look at the file; it is not encryption.
inline constexpr std::string_view kPasswordKey = "Kp3#vW8q+Zr%m";

// Scrambles a clear-text password for the settings file. Characters '!'..'}' (33..125) are
// stored exactly as every earlier version stored them; every other byte is stored in an escaped
// form that those versions never wrote, so that it reads back unchanged (earlier versions
// turned a space into '}' and '~' into '!'). The result consists of '!'..'~' only, is empty for
// an empty password, and is at most twice the password's length when the password has no
// escaped bytes (four bytes per escaped byte otherwise). Any length is accepted.
std::string ScramblePassword(std::string_view clear, std::string_view key = kPasswordKey);

// Recovers the clear text: ScramblePassword's output byte for byte, and for any text an earlier
// version stored, the same clear text that version read back. Every input yields some output.
std::string UnscramblePassword(std::string_view stored, std::string_view key = kPasswordKey);

// Reads a password stored by the settings layout of version 1000 (used only by the migration of
// such files).
std::string UnscrambleLegacyPassword(std::string_view stored, std::string_view key = kPasswordKey);

} // namespace vistrel
