#include "platform/PrivateTempDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vistrel {

namespace {

void setError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

} // namespace

std::string PrivateTempDirectory(std::string* error)
{
    const char* base = std::getenv("TMPDIR");
    std::string dir = (base && *base) ? base : "/tmp";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    dir += "/vistrel-" + std::to_string(::getuid());

    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        setError(error, "Cannot create " + dir + ": " + std::strerror(errno));
        return {};
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        setError(error, "Cannot inspect " + dir + ": " + std::strerror(errno));
        return {};
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        setError(error, dir + " is not a directory owned by this user");
        return {};
    }
    if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) {
        setError(error, dir + " is open to other users and cannot be closed");
        return {};
    }
    return dir;
}

std::string CreatePrivateTempFile(const std::string& prefix, std::string* error)
{
    const std::string dir = PrivateTempDirectory(error);
    if (dir.empty())
        return {};
    std::string pattern = dir + "/" + prefix + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0) {
        setError(error, "Cannot create a temporary file in " + dir + ": " + std::strerror(errno));
        return {};
    }
    ::close(fd);
    return std::string(buf.data());
}

} // namespace vistrel
