#include "platform/Autostart.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

namespace fs = std::filesystem;

constexpr const char* kEntryName = "vistrel.desktop";

// Characters the Exec syntax reserves: an argument holding one must be quoted.
bool IsReserved(char c)
{
    return std::strchr(" \t\n\"'\\><~|&;$*?#()`", c) != nullptr;
}

// The string escapes of a desktop-entry value, applied before the Exec quoting is read.
std::string EscapeValue(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string UnescapeValue(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default: // not an escape: kept as written
            out += '\\';
            out += text[i];
        }
    }
    return out;
}

// $XDG_CONFIG_HOME, or ~/.config when it is unset or relative (which the XDG rules ignore).
std::string ConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h)
        home = h;
    else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        home = pw->pw_dir;
    return home + "/.config";
}

void SetError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

} // namespace

namespace {

// One argument in the Exec syntax: quoted when it holds a reserved character, '%' doubled.
std::string ExecArgument(const std::string& programPath)
{
    bool quote = false;
    for (char c : programPath)
        quote = quote || IsReserved(c);
    std::string out;
    if (quote)
        out += '"';
    for (char c : programPath) {
        if (c == '%')
            out += "%%";
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += std::string("\\") + c;
        else
            out += c;
    }
    if (quote)
        out += '"';
    return out;
}

} // namespace

std::string AutostartCommand(const std::string& programPath, const std::string& settingsName)
{
    std::string command = ExecArgument(programPath);
    if (!settingsName.empty())
        command += " " + ExecArgument(settingsName);
    return command;
}

std::string RunningProgramPath()
{
    std::error_code ec;
    const fs::path path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string AutostartEntryPath(const std::string& settingsName)
{
    const std::string folder = ConfigHome() + "/autostart/";
    if (settingsName.empty())
        return folder + kEntryName;
    std::string name;
    bool plain = true;
    for (char c : settingsName) {
        const bool kept = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
                          (c == '.' && !name.empty());
        name += kept ? c : '-';
        plain = plain && kept;
    }
    if (!plain) {
        std::uint32_t hash = 2166136261u;
        for (unsigned char c : settingsName) {
            hash ^= c;
            hash *= 16777619u;
        }
        char suffix[12];
        std::snprintf(suffix, sizeof suffix, "-%08x", hash);
        name += suffix;
    }
    return folder + "vistrel-" + name + ".desktop";
}

bool IsAutostartEnabled(const std::string& command, const std::string& settingsName)
{
    std::ifstream in(AutostartEntryPath(settingsName), std::ios::binary);
    if (!in)
        return false;
    // Only the [Desktop Entry] group counts; the first Exec there is the one launchers use.
    bool inEntry = false;
    bool hidden = false;
    bool found = false;
    std::string exec;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        std::size_t start = eq + 1;
        while (start < line.size() && line[start] == ' ')
            ++start;
        const std::string value = line.substr(start);
        if (key == "Exec" && !found) {
            exec = UnescapeValue(value);
            found = true;
        } else if (key == "Hidden") {
            hidden = value == "true";
        }
    }
    return found && !hidden && exec == command;
}

bool EnableAutostart(const std::string& command, std::string* error,
                     const std::string& settingsName)
{
    const fs::path entry = AutostartEntryPath(settingsName);
    std::error_code ec;
    fs::create_directories(entry.parent_path(), ec);
    if (ec) {
        SetError(error, "cannot create " + entry.parent_path().string() + ": " + ec.message());
        return false;
    }
    std::ostringstream text;
    text << "[Desktop Entry]\n"
         << "Type=Application\n"
         << "Name=Vistrel" << (settingsName.empty() ? "" : EscapeValue(" (" + settingsName + ")"))
         << "\n"
         << "Comment=Webcam publisher\n"
         << "Exec=" << EscapeValue(command) << "\n"
         << "Icon=vistrel\n"
         << "Terminal=false\n"
         << "X-GNOME-Autostart-enabled=true\n";
    const std::string bytes = text.str();

    // Written beside the entry and renamed over it, so a launcher never reads half an entry.
    std::string temp = entry.string() + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        SetError(error, "cannot write " + entry.string() + ": " + std::strerror(errno));
        return false;
    }
    std::string failure;
    std::size_t done = 0;
    while (failure.empty() && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failure = std::strerror(n < 0 ? errno : EIO);
        else
            done += static_cast<std::size_t>(n);
    }
    if (failure.empty() && ::fchmod(fd, 0644) != 0)
        failure = std::strerror(errno);
    if (::close(fd) != 0 && failure.empty())
        failure = std::strerror(errno);
    if (failure.empty() && std::rename(temp.c_str(), entry.c_str()) != 0)
        failure = std::strerror(errno);
    if (!failure.empty()) {
        SetError(error, "cannot write " + entry.string() + ": " + failure);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool DisableAutostart(std::string* error, const std::string& settingsName)
{
    std::error_code ec;
    fs::remove(AutostartEntryPath(settingsName), ec);
    if (ec) {
        SetError(error, "cannot remove " + AutostartEntryPath(settingsName) + ": " + ec.message());
        return false;
    }
    return true;
}

} // namespace vistrel
