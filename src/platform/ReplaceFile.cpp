#include "platform/ReplaceFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

std::string randomSuffix()
{
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy to be had: the exclusive create still keeps names unique.
        static unsigned counter = 0;
        const unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u + counter++;
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string s;
    for (unsigned char b : bytes)
        s += kAlphabet[b % (sizeof kAlphabet - 1)];
    return s;
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string ReplacementPrefix(const std::string& target)
{
    const auto slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return dir + "." + name + ".vistrel-";
}

std::string FollowSymlinks(const std::string& path)
{
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0)
            return current;
        const std::string link(buf, static_cast<std::size_t>(n));
        if (link.front() == '/') {
            current = link;
        } else {
            const auto slash = current.rfind('/');
            current =
                (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
        }
    }
    return path;
}

FileReplacement::FileReplacement(const std::string& target, bool followLinks)
    : m_target(followLinks ? FollowSymlinks(target) : target)
{
}

FileReplacement::~FileReplacement()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_bCommitted && !m_temp.empty())
        ::unlink(m_temp.c_str());
}

bool FileReplacement::Create(std::string* error)
{
    if (m_target.empty()) {
        setError(error, "No file name");
        return false;
    }
    const std::string prefix = ReplacementPrefix(m_target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = prefix + randomSuffix();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            setError(error, "Cannot write " + m_target + ": " + std::strerror(errno));
            return false;
        }
        // A replaced file keeps its mode (a published picture may be meant for a web server).
        struct stat st {};
        if (::lstat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::fchmod(fd, st.st_mode & 07777);
        m_fd = fd;
        m_temp = name;
        return true;
    }
    setError(error, "Cannot write " + m_target + ": no free temporary name");
    return false;
}

bool FileReplacement::Commit(std::string* error)
{
    if (m_temp.empty()) {
        setError(error, "Cannot write " + m_target + ": nothing was written");
        return false;
    }
    if (m_fd >= 0) {
        const int rc = ::close(m_fd);
        m_fd = -1;
        // A full disk may only show when the data is flushed at close (network file systems).
        if (rc != 0 && errno != EINTR) {
            setError(error, "Cannot write " + m_target + ": " + std::strerror(errno));
            return false;
        }
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        setError(error, "Cannot write " + m_target + ": " + std::strerror(errno));
        return false;
    }
    m_bCommitted = true;
    return true;
}

bool CopyFileReplacing(const std::string& from, const std::string& to, std::string* error,
                       bool* missing)
{
    if (missing)
        *missing = false;
    const int in = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) {
        if (missing)
            *missing = errno == ENOENT;
        setError(error, "Cannot read " + from + ": " + std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        setError(error, "Cannot read " + from + ": not a regular file");
        return false;
    }
    FileReplacement out(to);
    if (!out.Create(error)) {
        ::close(in);
        return false;
    }
    char buf[65536];
    bool ok = true;
    while (ok) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            setError(error, "Cannot read " + from + ": " + std::strerror(errno));
            ok = false;
        } else if (n == 0) {
            break;
        } else if (!writeAll(out.Descriptor(), buf, static_cast<std::size_t>(n))) {
            setError(error, "Cannot write " + to + ": " + std::strerror(errno));
            ok = false;
        }
    }
    ::close(in);
    return ok && out.Commit(error);
}

int RemoveAbandonedReplacements(const std::string& target, int minAgeSeconds)
{
    const std::string prefixPath = ReplacementPrefix(target);
    const std::size_t slash = prefixPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : prefixPath.substr(0, slash + 1);
    const std::string prefix =
        slash == std::string::npos ? prefixPath : prefixPath.substr(slash + 1);
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    auto isSuffixChar = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix))
            continue;
        const std::string_view suffix = name.substr(prefix.size());
        if (!std::all_of(suffix.begin(), suffix.end(), isSuffixChar))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || now - st.st_mtime < minAgeSeconds)
            continue;
        if (::unlinkat(::dirfd(d), e->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

} // namespace vistrel
