#include "config/SettingsFile.h"

#include "config/PasswordScrambling.h"
#include "platform/CommandLine.h"
#include "platform/Profile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

std::mutex g_mutex;
std::string g_path;
bool g_fixed = false;

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return ".";
}

// An XDG base folder's "vistrel" folder: $variable, or home + fallback when that is unset.
std::string xdgDirectory(const char* variable, const char* fallback)
{
    const char* xdg = std::getenv(variable);
    // The XDG rules say a relative value is to be ignored.
    std::string base = (xdg && xdg[0] == '/') ? xdg : homeDirectory() + fallback;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/vistrel";
}

std::string configDirectory()
{
    return xdgDirectory("XDG_CONFIG_HOME", "/.config");
}

// mkdir -p, the last level private to the user.
bool makeDirectories(const std::string& dir, std::string* error)
{
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), pos == dir.size() ? 0700 : 0755) != 0 && errno != EEXIST) {
            if (error)
                *error = "Cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

std::string stateDirectory()
{
    return xdgDirectory("XDG_STATE_HOME", "/.local/state");
}

std::string absolutePath(const std::string& path)
{
    std::error_code ec;
    const auto p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

std::uint64_t fnv1a(const std::string& text)
{
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

} // namespace

std::string SettingsFileName(const std::string& commandLineTail)
{
    if (commandLineTail.empty())
        return "vistrel.ini";
    return commandLineTail + ".ini";
}

std::string CommandLineTail(int argc, const char* const* argv)
{
    return JoinArguments(argc, argv);
}

std::string ResolveSettingsPath(const std::string& name, std::string* error)
{
    if (name.find('/') != std::string::npos)
        return name;
    const std::string dir = configDirectory();
    makeDirectories(dir, error);
    return dir + "/" + name;
}

const std::string& FixSettingsFile(const std::string& commandLineTail, std::string* error)
{
    std::lock_guard lock(g_mutex);
    if (!g_fixed) {
        g_path = ResolveSettingsPath(SettingsFileName(commandLineTail), error);
        g_fixed = true;
    }
    return g_path;
}

const std::string& SettingsFilePath()
{
    {
        std::lock_guard lock(g_mutex);
        if (g_fixed)
            return g_path;
    }
    return FixSettingsFile({});
}

void SetSettingsFilePathForTesting(const std::string& path)
{
    std::lock_guard lock(g_mutex);
    g_path = path;
    g_fixed = !path.empty();
}

bool CheckSettingsFile(const std::string& path, std::string* error)
{
    struct stat st {};
    // stat follows a symbolic link; a dangling one is a file that does not exist yet.
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return true;
    if (error)
        *error = path + " is not a regular file";
    return false;
}

std::string SettingsNameOf(const std::string& settingsPath)
{
    std::string name = settingsPath;
    if (name.ends_with(".ini"))
        name.resize(name.size() - 4);
    const std::string folder = configDirectory() + "/";
    if (name.starts_with(folder) && name.find('/', folder.size()) == std::string::npos) {
        name = name.substr(folder.size());
        if (name == "vistrel")
            return {};
    }
    return name;
}

std::string StateFolderName(const std::string& settingsPath)
{
    const std::string absolute = absolutePath(settingsPath);
    const auto slash = absolute.rfind('/');
    std::string name = slash == std::string::npos ? absolute : absolute.substr(slash + 1);
    if (name.size() > 4 && name.ends_with(".ini"))
        name.resize(name.size() - 4);
    if (absolute.substr(0, slash == std::string::npos ? 0 : slash) == configDirectory())
        return name;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(absolute)));
    return name + "-" + hash;
}

std::string WorkingFolder(const std::string& installDirectory, std::string* error)
{
    if (!installDirectory.empty())
        return installDirectory;
    // A service manager that made the instance a folder of its own (systemd's StateDirectory=)
    // names it here; the vistreld@ unit also starts the instance in it.
    if (const char* given = std::getenv("STATE_DIRECTORY"); given && given[0] == '/') {
        std::string folder = given;
        folder = folder.substr(0, folder.find(':'));
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder + "/";
    }
    const std::string settings = absolutePath(SettingsFilePath());
    if (settings == configDirectory() + "/vistrel.ini" && ::access(".", W_OK) == 0)
        return {};
    const std::string folder = stateDirectory() + "/" + StateFolderName(settings);
    makeDirectories(folder, error);
    return folder + "/";
}

namespace {

// The run-only values under "section\nkey" in lower case (key names are compared without
// regard to case, as the file's reader does).
struct RunOnlyValues {
    std::mutex mutex;
    std::map<std::string, std::string> values;
    bool inMemoryOnly = false;
};
RunOnlyValues& runOnly()
{
    static RunOnlyValues values;
    return values;
}

std::string runOnlyName(std::string_view section, std::string_view key)
{
    std::string name = std::string(section) + "\n" + std::string(key);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

// The run-only value of section/key, when it has one.
std::optional<std::string> readRunOnly(std::string_view section, std::string_view key)
{
    RunOnlyValues& r = runOnly();
    std::lock_guard lock(r.mutex);
    if (r.values.empty())
        return std::nullopt;
    const auto it = r.values.find(runOnlyName(section, key));
    if (it == r.values.end())
        return std::nullopt;
    return it->second;
}

// Keeps a write in memory when the key is run-only or every write is; false when the write is
// for the file.
bool writeRunOnly(std::string_view section, std::string_view key, std::string_view value)
{
    RunOnlyValues& r = runOnly();
    std::lock_guard lock(r.mutex);
    const std::string name = runOnlyName(section, key);
    const auto it = r.values.find(name);
    if (it == r.values.end() && !r.inMemoryOnly)
        return false;
    r.values[name] = std::string(value);
    return true;
}

} // namespace

void SetRunOnlySettings(const std::vector<RunOnlySetting>& values, bool inMemoryOnly)
{
    RunOnlyValues& r = runOnly();
    std::lock_guard lock(r.mutex);
    r.values.clear();
    for (const RunOnlySetting& v : values)
        r.values[runOnlyName(v.section, v.key)] = v.value;
    r.inMemoryOnly = inMemoryOnly;
}

int IniReadInt(std::string_view section, std::string_view key, int defaultValue)
{
    if (const auto value = readRunOnly(section, key))
        return ParseProfileInt(*value, defaultValue);
    return GetPrivateProfileInt(section, key, defaultValue, SettingsFilePath());
}

std::string IniReadString(std::string_view section, std::string_view key,
                          std::string_view defaultValue)
{
    if (const auto value = readRunOnly(section, key))
        return std::string(Utf8Prefix(*value, kProfileStringMax));
    return GetPrivateProfileString(section, key, defaultValue, SettingsFilePath());
}

bool IniWriteInt(std::string_view section, std::string_view key, int value, std::string* error)
{
    if (writeRunOnly(section, key, std::to_string(value)))
        return true;
    return WritePrivateProfileString(section, key, std::to_string(value), SettingsFilePath(),
                                     error);
}

bool IniWriteString(std::string_view section, std::string_view key, std::string_view value,
                    std::string* error)
{
    if (writeRunOnly(section, key, value))
        return true;
    return WritePrivateProfileString(section, key, value, SettingsFilePath(), error);
}

std::string IniReadPassword(std::string_view section, std::string_view key)
{
    return UnscramblePassword(IniReadString(section, key, ""));
}

bool PasswordFitsSettingsFile(std::string_view clear)
{
    return ScramblePassword(clear).size() <= kProfileStringMax;
}

bool IniWritePassword(std::string_view section, std::string_view key, std::string_view clear,
                      std::string* error)
{
    const std::string stored = ScramblePassword(clear);
    if (stored.size() > kProfileStringMax) {
        if (error)
            *error = "The password is too long to be stored";
        return false;
    }
    return IniWriteString(section, key, stored, error);
}

} // namespace vistrel
