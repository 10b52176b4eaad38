#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vistrel {

struct SettingKey;

struct RunOnlySetting;

// The headless publisher's command line:
//   vistreld [--config NAME] [--once [ONE-OFF OPTIONS] | --check-ftp | --check-upload |
//             --list-devices | --set-password WHICH [--clear]] [--help] [--version]
struct DaemonOptions {
    std::string config; // empty: the default settings file
    bool once = false;
    bool checkFtp = false;
    bool checkUpload = false; // --check-upload: the check of whichever target is chosen
    bool listDevices = false;
    bool help = false;
    bool version = false;
    // --set-password WHICH: store a password (ftp, proxy, dialup, sftp-key, s3, …), asked for on a
    // terminal or read as one line from a pipe. With --clear the stored password is removed
    // instead.
    std::string setPassword; // a PasswordTarget's name
    bool clearPassword = false;

    // One-off options, with --once: values for this run only, never written to the settings
    // file. Each is given as "--name VALUE" or "--name=VALUE".
    std::string device;                   // --device: a device path, by-id name or camera name
    int width = 0;                        // --size WIDTHxHEIGHT
    int height = 0;                       //
    std::optional<std::string> title;     // --title TEXT: the banner ("" turns it off)
    std::optional<std::string> timestamp; // --timestamp PATTERN: a strftime date/time stamp
    std::string logo;                     // --logo FILE
    int jpegQuality = 0;                  // --jpeg QUALITY, 1 to 100
    std::string output;                   // --output FILE: the local copy
    bool HasOneOff() const
    {
        return !device.empty() || width > 0 || title || timestamp || !logo.empty() ||
               jpegQuality > 0 || !output.empty();
    }
};

// Parses the arguments after the program name. Returns false with *error set for an unknown
// option, a missing value or options that exclude each other.
bool ParseDaemonOptions(const std::vector<std::string>& args, DaemonOptions* options,
                        std::string* error);

// Checks the files the one-off options name: the logo must be a readable file, and the output's
// folder must exist. False with *error set otherwise.
bool CheckOneOffFiles(const DaemonOptions& options, std::string* error);

// The settings the one-off options stand for, for SetRunOnlySettings.
std::vector<RunOnlySetting> OneOffSettings(const DaemonOptions& options);

// The --help text.
std::string DaemonUsage();

// The command-line tail that names the settings file for --config NAME: NAME itself, or NAME
// without its ".ini" when it already ends so ("cam.ini" is the file cam.ini, not cam.ini.ini).
std::string SettingsTailForOption(const std::string& config);

// Whether the folder of an explicitly named settings file exists: false, with *error naming the
// path, when it does not (or is not a folder). A missing file in an existing folder is fine: that
// is a first start.
bool SettingsFolderExists(const std::string& settingsPath, std::string* error);

// A password --set-password can store: its name on the command line, its key, and what the
// prompt calls it.
struct PasswordTarget {
    const char* name;
    const SettingKey* setting;
    const char* section; // the setting's, for messages
    const char* key;
    const char* what;
};
// The target called name (ftp, proxy, dialup, sftp-key, s3, camera1 … camera4); nullptr for any
// other.
const PasswordTarget* FindPasswordTarget(const std::string& name);

} // namespace vistrel
