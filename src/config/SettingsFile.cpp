#include "config/SettingsFile.h"

#include "config/PasswordScrambling.h"
#include "platform/CommandLine.h"
#include "platform/Profile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
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

std::string configDirectory()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // The XDG rules say a relative value is to be ignored.
    std::string base = (xdg && xdg[0] == '/') ? xdg : homeDirectory() + "/.config";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/vistrel";
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

int IniReadInt(std::string_view section, std::string_view key, int defaultValue)
{
    return GetPrivateProfileInt(section, key, defaultValue, SettingsFilePath());
}

std::string IniReadString(std::string_view section, std::string_view key,
                          std::string_view defaultValue)
{
    return GetPrivateProfileString(section, key, defaultValue, SettingsFilePath());
}

bool IniWriteInt(std::string_view section, std::string_view key, int value)
{
    return WritePrivateProfileString(section, key, std::to_string(value), SettingsFilePath());
}

bool IniWriteString(std::string_view section, std::string_view key, std::string_view value)
{
    return WritePrivateProfileString(section, key, value, SettingsFilePath());
}

std::string IniReadPassword(std::string_view section, std::string_view key)
{
    return UnscramblePassword(IniReadString(section, key, ""));
}

bool PasswordFitsSettingsFile(std::string_view clear)
{
    return ScramblePassword(clear).size() <= kProfileStringMax;
}

bool IniWritePassword(std::string_view section, std::string_view key, std::string_view clear)
{
    const std::string stored = ScramblePassword(clear);
    if (stored.size() > kProfileStringMax)
        return false;
    return IniWriteString(section, key, stored);
}

} // namespace vistrel
