#include "vistreld/DaemonOptions.h"

#include "config/KeyCatalogue.h"

#include <sys/stat.h>

namespace vistrel {

namespace {

// The table's names are literals, so their views end in a null character.
constexpr PasswordTarget target(const char* name, const SettingKey& key, const char* what)
{
    return {name, &key, key.section.data(), key.key.data(), what};
}

} // namespace

const PasswordTarget* FindPasswordTarget(const std::string& name)
{
    static const PasswordTarget targets[] = {
        target("ftp", keys::UploadOptions::FTPPassword, "FTP password"),
        target("proxy", keys::UploadOptions::FireWallPassword, "FTP proxy password"),
        target("dialup", keys::ConnectOptions::Password, "Dial-up password"),
        target("sftp-key", keys::UploadOptions::SFTPKeyPassphrase, "SFTP key file passphrase"),
        target("s3", keys::UploadOptions::S3Secret, "S3 secret access key"),
        target("camera1", keys::NetworkCameras::Camera1Password, "Network camera 1 password"),
        target("camera2", keys::NetworkCameras::Camera2Password, "Network camera 2 password"),
        target("camera3", keys::NetworkCameras::Camera3Password, "Network camera 3 password"),
        target("camera4", keys::NetworkCameras::Camera4Password, "Network camera 4 password"),
    };
    for (const PasswordTarget& t : targets)
        if (name == t.name)
            return &t;
    return nullptr;
}

bool ParseDaemonOptions(const std::vector<std::string>& args, DaemonOptions* options,
                        std::string* error)
{
    DaemonOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--config" || a == "-c") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = "option " + a + " needs a settings name";
                return false;
            }
            o.config = args[++i];
        } else if (a.rfind("--config=", 0) == 0) {
            o.config = a.substr(9);
            if (o.config.empty()) {
                *error = "option --config needs a settings name";
                return false;
            }
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--check-ftp") {
            o.checkFtp = true;
        } else if (a == "--check-upload") {
            o.checkUpload = true;
        } else if (a == "--list-devices") {
            o.listDevices = true;
        } else if (a == "--set-password") {
            if (i + 1 >= args.size() || !FindPasswordTarget(args[i + 1])) {
                *error = "option --set-password needs ftp, proxy, dialup, sftp-key, s3 or camera1 "
                         "to camera4";
                return false;
            }
            o.setPassword = args[++i];
        } else if (a == "--clear") {
            o.clearPassword = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version" || a == "-V") {
            o.version = true;
        } else {
            *error = "unknown option " + a + " (try --help)";
            return false;
        }
    }
    if (int(o.once) + int(o.checkFtp) + int(o.checkUpload) + int(o.listDevices) +
            int(!o.setPassword.empty()) >
        1) {
        *error = "--once, --check-ftp, --check-upload, --list-devices and --set-password cannot "
                 "be used together";
        return false;
    }
    if (o.clearPassword && o.setPassword.empty()) {
        *error = "--clear goes with --set-password WHICH";
        return false;
    }
    *options = o;
    return true;
}

std::string DaemonUsage()
{
    return "Usage: vistreld [--config NAME] [--once | --check-ftp | --check-upload |\n"
           "                --list-devices | --set-password WHICH [--clear]] [--help]\n"
           "                [--version]\n"
           "\n"
           "Publishes webcam pictures without a display, with the settings of the desktop\n"
           "program.\n"
           "\n"
           "  --config NAME  use the settings file NAME.ini, or NAME when it ends in .ini\n"
           "                 (a bare name lives in $XDG_CONFIG_HOME/vistrel/; a name with\n"
           "                 a '/' is used as given, and its folder must exist)\n"
           "  --once         run one cycle as if started by hand, then exit:\n"
           "                 status 0 when it succeeded, 1 when it failed\n"
           "  --check-ftp    do what a cycle does on the server with a probe file (log on,\n"
           "                 change directory, store, rename, delete) and print one verdict\n"
           "                 line per step; status 0 only when every step passed\n"
           "  --check-upload the same for the chosen upload target (" +
           keys::UploadOptions::UploadTarget.name() +
           "): store,\n"
           "                 rename or copy, archive step, delete; FTP runs --check-ftp\n"
           "  --list-devices list the capture drivers with their index, name and sizes\n"
           "                 (the index goes into " +
           keys::ImageFormat::CaptureDevice.name() +
           ")\n"
           "  --set-password WHICH\n"
           "                 store the ftp, proxy, dialup or camera1 … camera4 (network\n"
           "                 camera) password, the sftp-key passphrase or the s3 secret,\n"
           "                 scrambled: asked for twice without echo on a terminal, one line\n"
           "                 from a pipe\n"
           "  --clear        with --set-password: remove the stored password\n"
           "  --help         show this text\n"
           "  --version      show the version\n"
           "\n"
           "Without one of the actions above it runs the schedule until SIGTERM or SIGINT.\n"
           "SIGHUP re-reads the settings; SIGUSR1 captures now.\n"
           "Exit status: 0 success, 1 failure, 2 a mistake on the command line.\n";
}

std::string SettingsTailForOption(const std::string& config)
{
    constexpr std::string_view kExtension = ".ini";
    if (config.size() > kExtension.size() && config.ends_with(kExtension) &&
        config[config.size() - kExtension.size() - 1] != '/')
        return config.substr(0, config.size() - kExtension.size());
    return config;
}

bool SettingsFolderExists(const std::string& settingsPath, std::string* error)
{
    const auto slash = settingsPath.rfind('/');
    if (slash == std::string::npos)
        return true;
    const std::string folder = slash == 0 ? "/" : settingsPath.substr(0, slash);
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    *error = "the folder of the settings file " + settingsPath + " does not exist";
    return false;
}

} // namespace vistrel
