#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// The name the command line gives for a settings file's path (what "vistrel NAME" takes): "" for
// the default vistrel.ini of the configuration folder, the file's name without ".ini" for another
// file there, and the path without ".ini" for a file elsewhere.
std::string SettingsNameOf(const std::string& settingsPath);

// The settings file's path. If FixSettingsFile has not run yet, fixes it for an empty command
// line first.
const std::string& SettingsFilePath();

// Whether path can serve as the settings file: false, with *error set to "<path> is not a regular
// file", when something other than a regular file (a FIFO, a device, a folder) is in its place;
// true for a regular file and for a file that does not exist yet. Programs check this at start-up
// and refuse to run, since such a file can neither hold settings nor be read without waiting.
bool CheckSettingsFile(const std::string& path, std::string* error);

// The folder of the working files ("~vistrel.jpg", "pvvistrel.jpg", "error.log", "ftp.log"),
// with its trailing '/', or empty for the current directory:
//  - Install/Directory when it is set (installDirectory, as the live copy holds it);
//  - otherwise the folder a service manager made for this instance ($STATE_DIRECTORY, its first
//    entry, as systemd sets it for the vistreld@ unit);
//  - otherwise the current directory, for the default settings file (vistrel.ini in the
//    configuration folder) when the current directory is writable;
//  - otherwise a folder of the settings file's own, $XDG_STATE_HOME/vistrel/<name>/
//    (~/.local/state/vistrel/<name>/ when that variable is unset or not absolute), see
//    StateFolderName. It is created (mode 0700) when missing; when that fails *error is set and
//    the path is returned all the same (the writes of a cycle then fail and say where).
// So two instances started from one folder with different settings files never share working
// files.
std::string WorkingFolder(const std::string& installDirectory, std::string* error = nullptr);

// The name of a settings file's own folder: its file name without ".ini" for a file in the
// configuration folder ("cam2" for cam2.ini); for a file anywhere else that name, '-' and 16 hex
// digits of a hash of its absolute path ("front-…" for /srv/cams/front.ini), so that two files
// of one name in different folders get different folders.
std::string StateFolderName(const std::string& settingsPath);

// For tests only: point the settings file at path, or (with an empty path) forget it, so that
// the next FixSettingsFile or SettingsFilePath fixes it afresh.
void SetSettingsFilePathForTesting(const std::string& path);

// Settings access, each call straight to the settings file (see platform/Profile.h for the
// reading rules). Strings come back cut to 1023 characters.
int IniReadInt(std::string_view section, std::string_view key, int defaultValue);
std::string IniReadString(std::string_view section, std::string_view key,
                          std::string_view defaultValue);
// Writes value as "%d". Returns false, with *error set when given, when the write failed.
bool IniWriteInt(std::string_view section, std::string_view key, int value,
                 std::string* error = nullptr);
// Writes a string as it is (see WritePrivateProfileString for what is refused).
bool IniWriteString(std::string_view section, std::string_view key, std::string_view value,
                    std::string* error = nullptr);

// Values for this run only, as one-off command-line options give them. A read of one of these
// keys gives its value whatever the file holds; a write to one changes the run's value and leaves
// the file alone. With inMemoryOnly every write of the run stays in memory as well, so the
// settings file is neither created nor changed. Set before the settings are first read; an empty
// list and false undo it (for tests).
struct RunOnlySetting {
    std::string section;
    std::string key;
    std::string value;
};
void SetRunOnlySettings(const std::vector<RunOnlySetting>& values, bool inMemoryOnly);

// Passwords: stored scrambled, read back in clear (config/PasswordScrambling.h).
std::string IniReadPassword(std::string_view section, std::string_view key);
// Refuses (false, nothing written) a password whose stored form would be longer than a read
// returns, because it could never be read back whole; see PasswordFitsSettingsFile.
bool IniWritePassword(std::string_view section, std::string_view key, std::string_view clear,
                      std::string* error = nullptr);
// Whether a password can be stored and read back whole (its scrambled form has at most 1023
// characters: every password of up to 511 characters '!'..'}' does). Pages check it first.
bool PasswordFitsSettingsFile(std::string_view clear);

} // namespace vistrel
