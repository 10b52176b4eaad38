#pragma once

#include <string>
#include <vector>

namespace vistrel {

struct SettingKey;

// The headless publisher's command line:
//   vistreld [--config NAME] [--once | --check-ftp | --check-upload | --list-devices |
//             --set-password WHICH [--clear]] [--help] [--version]
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
};

// Parses the arguments after the program name. Returns false with *error set for an unknown
// option, a missing value or options that exclude each other.
bool ParseDaemonOptions(const std::vector<std::string>& args, DaemonOptions* options,
                        std::string* error);

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
