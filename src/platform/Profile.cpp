#include "platform/Profile.h"

#include "platform/ReplaceFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vistrel {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

// One line of the file: its text without the line end, and where the line (with its end) sits.
struct Line {
    std::string_view text;
    std::size_t textBegin = 0; // offset of text in the file
    std::size_t end = 0;       // one past the line end
};

std::vector<Line> splitLines(std::string_view content)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        const std::size_t end = nl == std::string_view::npos ? content.size() : nl + 1;
        std::string_view text =
            content.substr(pos, (nl == std::string_view::npos ? end : nl) - pos);
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        lines.push_back({text, pos, end});
        pos = end;
    }
    // A UTF-8 byte-order mark must not hide the first section header.
    if (!lines.empty() && lines[0].text.substr(0, 3) == "\xEF\xBB\xBF") {
        lines[0].text.remove_prefix(3);
        lines[0].textBegin = 3;
    }
    return lines;
}

// Where a key sits in the file, as far as it was found.
struct Location {
    bool sectionFound = false;
    bool keyFound = false;
    std::size_t insertAfter = 0; // index of the section's last non-blank line
    std::size_t keyLine = 0;
    std::string_view rawValue; // text after '=' (not trimmed)
};

Location locate(const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    Location loc;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text = trim(lines[i].text);
        if (!text.empty() && text.front() == '[') {
            if (inSection)
                break; // first matching section only
            std::string_view name = text.substr(1);
            name = name.substr(0, name.find(']'));
            if (sameName(trim(name), section)) {
                inSection = true;
                loc.sectionFound = true;
                loc.insertAfter = i;
            }
            continue;
        }
        if (!inSection || text.empty())
            continue;
        loc.insertAfter = i;
        if (text.front() == ';')
            continue;
        const std::size_t eq = text.find('=');
        if (eq == std::string_view::npos)
            continue;
        if (sameName(trim(text.substr(0, eq)), key)) {
            loc.keyFound = true;
            loc.keyLine = i;
            // The value is taken from the untrimmed line so that nothing after '=' is lost.
            const std::string_view line = lines[i].text;
            loc.rawValue = line.substr(line.find('=') + 1);
            return loc;
        }
    }
    return loc;
}

// Reads a whole file; false when it cannot be opened (a missing file is not an error for reads).
bool readAll(int fd, std::string& out)
{
    out.clear();
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

// Opening never blocks: a FIFO or a device in place of the file is opened without waiting for a
// writer, and then refused.
bool isRegularFile(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool readFileFresh(const std::string& fileName, std::string& out)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = isRegularFile(fd) && readAll(fd, out);
    ::close(fd);
    return ok;
}

// The stored value of a key as the read functions see it, or false when absent.
bool findValue(std::string_view section, std::string_view key, const std::string& fileName,
               std::string& content, std::string_view& value)
{
    if (!readFileFresh(fileName, content))
        return false;
    const auto lines = splitLines(content);
    const Location loc = locate(lines, trim(section), trim(key));
    if (!loc.keyFound)
        return false;
    value = trim(loc.rawValue);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return true;
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Opens and exclusively locks the current file (creating it when missing). A writer that held
// the lock may have renamed a new file into place meanwhile; then the lock is on a file that is
// no longer there, so open the new one and lock again.
int lockCurrentFile(const std::string& path, std::string* error)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            setError(error, errno == EISDIR ? path + " is not a regular file"
                                            : "Cannot open " + path + ": " + std::strerror(errno));
            return -1;
        }
        if (!isRegularFile(fd)) {
            setError(error, path + " is not a regular file");
            ::close(fd);
            return -1;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            setError(error, "Cannot lock " + path + ": " + std::strerror(errno));
            ::close(fd);
            return -1;
        }
        struct stat held {
        }, current{};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &current) == 0 &&
            held.st_dev == current.st_dev && held.st_ino == current.st_ino)
            return fd;
        ::close(fd);
    }
    setError(error, "Cannot lock " + path + ": it keeps being replaced");
    return -1;
}

// Temporary files are only made while the lock on the current file is held, so any of the
// writer's own found while holding it were left by a writer that died before its rename. Only
// names of exactly that form are removed: a user's ".cam.ini.backup" stays.
void removeAbandonedTempFiles(const std::string& path)
{
    RemoveAbandonedReplacements(path);
}

// The fallback when the file cannot be replaced by rename (a folder the user may not write, or
// an owner that a new file could not be given): the new contents are written over the old ones
// through a second descriptor of the locked file. A crash in the middle can leave the file
// mixed, so this is only the second choice.
bool writeInPlace(const std::string& path, int lockFd, const std::string& content,
                  std::string* error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setError(error, "Cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    struct stat held {
    }, opened{};
    bool ok = ::fstat(lockFd, &held) == 0 && ::fstat(fd, &opened) == 0 &&
              held.st_dev == opened.st_dev && held.st_ino == opened.st_ino;
    if (!ok) {
        setError(error, "Cannot write " + path + ": it was replaced during the write");
    } else {
        ok = writeAll(fd, content) && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 &&
             ::fsync(fd) == 0;
        if (!ok)
            setError(error, "Cannot write " + path + ": " + std::strerror(errno));
    }
    ::close(fd);
    return ok;
}

bool isPermissionError(int err)
{
    return err == EACCES || err == EPERM;
}

// Writes content as the new file: a temporary file beside it that takes the old file's owner,
// group and mode, then a rename. Where that is not allowed, writes in place.
bool replaceFile(const std::string& path, int lockFd, const struct stat& st,
                 const std::string& content, std::string* error)
{
    std::string tempName = ReplacementPrefix(path) + "XXXXXX";
    std::vector<char> buf(tempName.begin(), tempName.end());
    buf.push_back('\0');
    const int tmp = ::mkostemp(buf.data(), O_CLOEXEC);
    if (tmp < 0) {
        if (isPermissionError(errno))
            return writeInPlace(path, lockFd, content, error);
        setError(error,
                 "Cannot create a temporary file next to " + path + ": " + std::strerror(errno));
        return false;
    }
    tempName = buf.data();
    // Someone else's file (root setting a password in a user's file) stays theirs.
    const bool sameOwner = st.st_uid == ::geteuid() && st.st_gid == ::getegid();
    if (!sameOwner && ::fchown(tmp, st.st_uid, st.st_gid) != 0) {
        ::close(tmp);
        ::unlink(tempName.c_str());
        return writeInPlace(path, lockFd, content, error);
    }
    const bool written =
        writeAll(tmp, content) && ::fchmod(tmp, st.st_mode & 07777) == 0 && ::fsync(tmp) == 0;
    const int savedErrno = errno;
    ::close(tmp);
    // The data is synced before the rename, so a crash leaves the old file or the new one, never
    // an empty one. The directory is not synced: losing the rename in a power cut only brings
    // back the old file, and pages write many keys.
    if (!written) {
        ::unlink(tempName.c_str());
        setError(error, "Cannot write " + path + ": " + std::strerror(savedErrno));
        return false;
    }
    if (::rename(tempName.c_str(), path.c_str()) != 0) {
        const int renameErrno = errno;
        ::unlink(tempName.c_str());
        // A sticky folder lets only the owner replace the file.
        if (isPermissionError(renameErrno))
            return writeInPlace(path, lockFd, content, error);
        setError(error, "Cannot write " + path + ": " + std::strerror(renameErrno));
        return false;
    }
    return true;
}

bool hasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool validNames(std::string_view section, std::string_view key, std::string_view value,
                std::string* error)
{
    if (hasLineBreakOrNul(section) || hasLineBreakOrNul(key) || hasLineBreakOrNul(value)) {
        setError(error, "A line break or NUL byte cannot be stored in a settings file");
        return false;
    }
    if (section.empty() || trim(section) != section ||
        section.find(']') != std::string_view::npos) {
        setError(error, "Invalid section name \"" + std::string(section) + "\"");
        return false;
    }
    if (key.empty() || trim(key) != key || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';') {
        setError(error, "Invalid key name \"" + std::string(key) + "\"");
        return false;
    }
    return true;
}

std::string encodeValue(std::string_view value)
{
    const bool wrap =
        !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                           (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
    if (wrap)
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

// The file with section/key set to value, every other byte kept.
std::string updatedContent(const std::string& content, std::string_view section,
                           std::string_view key, std::string_view value)
{
    const auto lines = splitLines(content);
    const std::string eol = (!lines.empty() && lines[0].end >= 2 &&
                             content[lines[0].end - 1] == '\n' && content[lines[0].end - 2] == '\r')
                                ? "\r\n"
                                : "\n";
    const Location loc = locate(lines, section, key);
    // An existing key keeps the spelling it has in the file.
    std::string_view keyName = key;
    if (loc.keyFound) {
        const std::string_view text = lines[loc.keyLine].text;
        keyName = trim(text.substr(0, text.find('=')));
    }
    const std::string entry = std::string(keyName) + "=" + encodeValue(value);

    std::string out;
    out.reserve(content.size() + entry.size() + section.size() + 8);
    if (loc.keyFound) {
        const Line& line = lines[loc.keyLine];
        out.append(content, 0, line.textBegin);
        out.append(entry);
        out.append(content, line.textBegin + line.text.size(), std::string::npos);
        return out;
    }
    if (loc.sectionFound) {
        const Line& after = lines[loc.insertAfter];
        out.append(content, 0, after.end);
        if (after.end == content.size() && (content.empty() || content.back() != '\n'))
            out.append(eol);
        out.append(entry).append(eol);
        out.append(content, after.end, std::string::npos);
        return out;
    }
    out = content;
    if (!out.empty() && out.back() != '\n')
        out.append(eol);
    out.append("[").append(section).append("]").append(eol);
    out.append(entry).append(eol);
    return out;
}

} // namespace

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& fileName)
{
    std::string content;
    std::string_view value;
    if (!findValue(section, key, fileName, content, value))
        return defaultValue;
    return ParseProfileInt(value, defaultValue);
}

int ParseProfileInt(std::string_view value, int defaultValue, bool* whole)
{
    value = trim(value);
    bool negative = false;
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    std::uint32_t n = 0;
    std::size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') {
        n = n * 10u + static_cast<std::uint32_t>(value[digits] - '0');
        ++digits;
    }
    if (whole)
        *whole = digits != 0 && digits == value.size();
    if (digits == 0)
        return defaultValue;
    if (negative)
        n = 0u - n;
    return static_cast<int>(n);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& fileName)
{
    std::string content;
    std::string_view value;
    if (!findValue(section, key, fileName, content, value))
        value = defaultValue;
    return std::string(Utf8Prefix(value, kProfileStringMax));
}

std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    // Step back over the continuation bytes (10xxxxxx) of a character that the cut would split,
    // but only when a lead byte announcing a longer sequence starts it: other bytes (an old
    // Latin-1 file) are cut where they are.
    std::size_t cut = maxBytes;
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80)
        return text.substr(0, cut); // the cut falls between two characters
    for (std::size_t back = 1; back <= 3 && back <= cut; ++back) {
        const auto b = static_cast<unsigned char>(text[cut - back]);
        if ((b & 0xC0) == 0x80)
            continue;
        const std::size_t length = (b & 0xE0) == 0xC0   ? 2
                                   : (b & 0xF0) == 0xE0 ? 3
                                   : (b & 0xF8) == 0xF0 ? 4
                                                        : 1;
        if (length > back)
            cut -= back;
        break;
    }
    return text.substr(0, cut);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& fileName,
                               std::string* error)
{
    if (!validNames(section, key, value, error))
        return false;
    if (fileName.empty()) {
        setError(error, "No settings file name");
        return false;
    }
    const std::string path = FollowSymlinks(fileName);
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) {
        setError(error, path + " is not writable");
        return false;
    }

    const int lockFd = lockCurrentFile(path, error);
    if (lockFd < 0)
        return false;
    removeAbandonedTempFiles(path);

    bool ok = false;
    std::string content;
    struct stat st {};
    if (!readAll(lockFd, content) || ::fstat(lockFd, &st) != 0) {
        setError(error, "Cannot read " + path + ": " + std::strerror(errno));
    } else {
        const std::string updated = updatedContent(content, section, key, value);
        ok = updated == content || replaceFile(path, lockFd, st, updated, error);
    }
    ::close(lockFd);
    return ok;
}

} // namespace vistrel
