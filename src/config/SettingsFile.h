#pragma once

#include <string>
#include <string_view>

namespace vistrel {

// The settings file of this run. Its name comes from the command line: an empty command line
// gives "vistrel.ini", anything else is the whole command-line tail, unchanged, followed by
// ".ini" (so "cam2" gives "cam2.ini" and several configurations can run side by side).
// A name without '/' lives in $XDG_CONFIG_HOME/vistrel/ (~/.config/vistrel/ when that variable
// is unset or not absolute); the folder is created when needed. A name with '/' is used as given.

// "vistrel.ini" for an empty tail, else tail + ".ini".
std::string SettingsFileName(const std::string& commandLineTail);

// argv[1..] joined with single spaces: the command-line tail as this platform hands it over.
std::string CommandLineTail(int argc, const char* const* argv);

// Where a settings file name resolves to (see above), creating the configuration folder for a
// bare name. Returns the path; on failure to create the folder the path is still returned (reads
// then give defaults and writes fail) and *error is set.
std::string ResolveSettingsPath(const std::string& name, std::string* error = nullptr);

// Fixes the settings file for the whole run from the command-line tail. Only the first call
// counts; later calls return the path already fixed. Returns the path; *error is set when the
// configuration folder could not be created (the program then runs on its defaults).
const std::string& FixSettingsFile(const std::string& commandLineTail,
                                   std::string* error = nullptr);

// The settings file's path. If FixSettingsFile has not run yet, fixes it for an empty command
// line first.
const std::string& SettingsFilePath();

// For tests only: point the settings file at path, or (with an empty path) forget it, so that
// the next FixSettingsFile or SettingsFilePath fixes it afresh.
void SetSettingsFilePathForTesting(const std::string& path);

// Settings access, each call straight to the settings file (see platform/Profile.h for the
// reading rules). Strings come back cut to 1023 characters.
int IniReadInt(std::string_view section, std::string_view key, int defaultValue);
std::string IniReadString(std::string_view section, std::string_view key,
                          std::string_view defaultValue);
// Writes value as "%d". Returns false when the write failed (callers may ignore it).
bool IniWriteInt(std::string_view section, std::string_view key, int value);
// Writes a string as it is (see WritePrivateProfileString for what is refused).
bool IniWriteString(std::string_view section, std::string_view key, std::string_view value);

// Passwords: stored scrambled, read back in clear (config/PasswordScrambling.h).
std::string IniReadPassword(std::string_view section, std::string_view key);
// Refuses (false, nothing written) a password whose stored form would be longer than a read
// returns, because it could never be read back whole; see PasswordFitsSettingsFile.
bool IniWritePassword(std::string_view section, std::string_view key, std::string_view clear);
// Whether a password can be stored and read back whole (its scrambled form has at most 1023
// characters: every password of up to 511 characters '!'..'}' does). Pages check it first.
bool PasswordFitsSettingsFile(std::string_view clear);

} // namespace vistrel
