#include "vistreld/DaemonOptions.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "platform/TimePattern.h"

#include <charconv>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

// The table's names are literals, so their views end in a null character.
constexpr PasswordTarget target(const char* name, const SettingKey& key, const char* what)
{
    return {name, &key, key.section.data(), key.key.data(), what};
}

// A whole decimal number from low to high, or nothing.
std::optional<int> number(std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high)
        return std::nullopt;
    return value;
}

// The largest picture side the one-off --size takes.
constexpr int kMaxSide = 16384;

// Reads the value of a one-off option into o; false with *error set when it is not valid.
bool takeOneOff(const std::string& name, const std::string& value, DaemonOptions& o,
                std::string* error)
{
    auto refuse = [&](const std::string& what) {
        *error = "option " + name + " needs " + what;
        return false;
    };
    if (name == "--device") {
        if (value.empty())
            return refuse("a device path, a /dev/v4l/by-id/ name or a camera's name");
        o.device = value;
    } else if (name == "--size") {
        const auto x = value.find_first_of("xX");
        const auto w =
            x == std::string::npos ? std::nullopt : number(value.substr(0, x), 1, kMaxSide);
        const auto h =
            x == std::string::npos ? std::nullopt : number(value.substr(x + 1), 1, kMaxSide);
        if (!w || !h)
            return refuse("WIDTHxHEIGHT, each from 1 to " + std::to_string(kMaxSide) +
                          " (such as 1280x720), not \"" + value + "\"");
        o.width = *w;
        o.height = *h;
    } else if (name == "--title") {
        o.title = value;
    } else if (name == "--timestamp") {
        const std::time_t now = std::time(nullptr);
        if (FormatTimePattern(value, LocalTime(now)).empty())
            return refuse("a strftime pattern that gives a text of at most " +
                          std::to_string(kTimePatternMax) +
                          " characters (such as \"%Y-%m-%d "
                          "%H:%M:%S\")");
        o.timestamp = value;
    } else if (name == "--logo") {
        if (value.empty())
            return refuse("a picture file");
        o.logo = value;
    } else if (name == "--jpeg") {
        const auto q = number(value, 1, 100);
        if (!q)
            return refuse("a quality from 1 to 100, not \"" + value + "\"");
        o.jpegQuality = *q;
    } else if (name == "--output") {
        if (value.empty() || value.back() == '/')
            return refuse("a file name");
        o.output = value;
    }
    return true;
}

bool isOneOff(const std::string& name)
{
    for (const char* o :
         {"--device", "--size", "--title", "--timestamp", "--logo", "--jpeg", "--output"})
        if (name == o)
            return true;
    return false;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
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
        } else if (const std::string name = a.substr(0, a.find('=')); isOneOff(name)) {
            std::string value;
            if (name.size() < a.size()) {
                value = a.substr(name.size() + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                *error = "option " + name + " needs a value";
                return false;
            }
            if (!takeOneOff(name, value, o, error))
                return false;
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
    if (o.HasOneOff() && !o.once) {
        *error = "--device, --size, --title, --timestamp, --logo, --jpeg and --output go with "
                 "--once";
        return false;
    }
    if (o.clearPassword && o.setPassword.empty()) {
        *error = "--clear goes with --set-password WHICH";
        return false;
    }
    *options = o;
    return true;
}

bool CheckOneOffFiles(const DaemonOptions& o, std::string* error)
{
    struct stat st {};
    if (!o.logo.empty() && (::stat(o.logo.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                            ::access(o.logo.c_str(), R_OK) != 0)) {
        *error = "option --logo: " + o.logo + " is not a picture file that can be read";
        return false;
    }
    if (!o.output.empty()) {
        const std::string folder = folderOf(o.output);
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            *error = "option --output: the folder " + folder + " does not exist";
            return false;
        }
        if (::stat(o.output.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            *error = "option --output: " + o.output + " is a folder";
            return false;
        }
    }
    return true;
}

std::vector<RunOnlySetting> OneOffSettings(const DaemonOptions& o)
{
    std::vector<RunOnlySetting> settings;
    auto set = [&](const SettingKey& key, const std::string& value) {
        settings.push_back({std::string(key.section), std::string(key.key), value});
    };
    if (!o.device.empty())
        set(keys::ImageFormat::CaptureDevicePath, o.device);
    if (o.width > 0) {
        // Width and Height alone choose a 24-bit picture of that size; the rest of a stored
        // format (for another size) must not count for this run.
        for (const SettingKey* k : keys::kVideoFormat)
            set(*k, "0");
        set(keys::ImageFormat::Width, std::to_string(o.width));
        set(keys::ImageFormat::Height, std::to_string(o.height));
    }
    if (o.title) {
        set(keys::ImageOptions::EnableMessage, o.title->empty() ? "0" : "1");
        set(keys::ImageOptions::Message, *o.title);
    }
    if (o.timestamp) {
        set(keys::ImageOptions::Stamp, "1");
        set(keys::ImageOptions::TimeFormat, *o.timestamp);
    }
    if (!o.logo.empty()) {
        set(keys::ImageOptions::EnableOverlay, "1");
        set(keys::ImageOptions::OverlayFilename, o.logo);
    }
    if (o.jpegQuality > 0)
        set(keys::ImageOptions::Quality, std::to_string(o.jpegQuality));
    if (!o.output.empty()) {
        set(keys::UploadOptions::SaveAsFile, "1");
        set(keys::UploadOptions::SaveAsFilename, o.output);
    }
    return settings;
}

std::string DaemonUsage()
{
    return "Usage: vistreld [--config NAME] [--once [ONE-OFF OPTIONS] | --check-ftp |\n"
           "                --check-upload | --list-devices | --set-password WHICH [--clear]]\n"
           "                [--help] [--version]\n"
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
           "),\n"
           "                 and each camera's controls with what they accept (set them\n"
           "                 with " +
           keys::ImageFormat::CameraControls.name() +
           "=name=value,...)\n"
           "  --set-password WHICH\n"
           "                 store the ftp, proxy, dialup or camera1 … camera4 (network\n"
           "                 camera) password, the sftp-key passphrase or the s3 secret,\n"
           "                 scrambled: asked for twice without echo on a terminal, one line\n"
           "                 from a pipe\n"
           "  --clear        with --set-password: remove the stored password\n"
           "  --help         show this text\n"
           "  --version      show the version\n"
           "\n"
           "One-off options, with --once: for this run only, never written to the settings\n"
           "file (without --config no settings file is created or changed at all):\n"
           "  --device DEV   the camera: a device path, a /dev/v4l/by-id/ name, a network\n"
           "                 camera's name or \"Test Pattern\"\n"
           "  --size WxH     the picture size, such as 1280x720\n"
           "  --title TEXT   the banner text (\"\" for none)\n"
           "  --timestamp PATTERN\n"
           "                 the date/time stamp as a strftime pattern (\"%Y-%m-%d %H:%M\")\n"
           "  --logo FILE    a logo drawn over the picture\n"
           "  --jpeg QUALITY JPEG quality, 1 to 100\n"
           "  --output FILE  write the picture to FILE\n"
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
