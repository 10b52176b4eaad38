#include "capture/V4l2Io.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <libv4l2.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

// The number after the last non-digit of a path; -1 when it does not end in digits.
long deviceNumber(const std::string& path)
{
    std::size_t i = path.size();
    while (i > 0 && path[i - 1] >= '0' && path[i - 1] <= '9')
        --i;
    if (i == path.size() || path.size() - i > 9)
        return -1;
    return std::strtol(path.c_str() + i, nullptr, 10);
}

class SystemIo : public V4l2Io {
  public:
    std::vector<std::string> deviceNodes() override
    {
        std::vector<std::string> nodes;
        DIR* dir = ::opendir("/dev");
        if (!dir)
            return nodes;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 5 && name.compare(0, 5, "video") == 0 && deviceNumber(name) >= 0 &&
                name.find_first_not_of("0123456789", 5) == std::string::npos)
                nodes.push_back("/dev/" + name);
        }
        ::closedir(dir);
        SortByDeviceNumber(nodes);
        return nodes;
    }

    int open(const std::string& path, int flags) override
    {
        return ::v4l2_open(path.c_str(), flags | O_CLOEXEC);
    }
    int close(int fd) override { return ::v4l2_close(fd); }
    int ioctl(int fd, unsigned long request, void* arg) override
    {
        int r;
        do {
            r = ::v4l2_ioctl(fd, request, arg);
        } while (r < 0 && errno == EINTR);
        return r;
    }
    void* mmap(std::size_t length, int prot, int flags, int fd, off_t offset) override
    {
        return ::v4l2_mmap(nullptr, length, prot, flags, fd, static_cast<int64_t>(offset));
    }
    int munmap(void* address, std::size_t length) override
    {
        return ::v4l2_munmap(address, length);
    }
    ssize_t read(int fd, void* buffer, std::size_t length) override
    {
        return ::v4l2_read(fd, buffer, length);
    }
    int poll(int fd, short events, int timeoutMs) override
    {
        pollfd p{fd, events, 0};
        int r;
        do {
            r = ::poll(&p, 1, timeoutMs);
        } while (r < 0 && errno == EINTR);
        return r <= 0 ? r : p.revents;
    }
};

} // namespace

bool V4l2Io::nodeGroup(const std::string& path, std::string& group, bool& member)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    const struct group* g = ::getgrgid(st.st_gid);
    group = g ? g->gr_name : std::to_string(st.st_gid);
    member = ::getegid() == st.st_gid;
    gid_t groups[256];
    const int n = ::getgroups(256, groups);
    for (int i = 0; i < n; ++i)
        member = member || groups[i] == st.st_gid;
    return true;
}

std::shared_ptr<V4l2Io> SystemV4l2Io()
{
    return std::make_shared<SystemIo>();
}

void SortByDeviceNumber(std::vector<std::string>& paths)
{
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return deviceNumber(a) < deviceNumber(b);
    });
}

namespace {

class NoDevices : public V4l2Io {
  public:
    std::vector<std::string> deviceNodes() override { return {}; }
    int open(const std::string&, int) override { return -1; }
    int close(int) override { return 0; }
    int ioctl(int, unsigned long, void*) override { return -1; }
    void* mmap(std::size_t, int, int, int, off_t) override { return nullptr; }
    int munmap(void*, std::size_t) override { return 0; }
    ssize_t read(int, void*, std::size_t) override { return -1; }
    int poll(int, short, int) override { return -1; }
};

} // namespace

std::shared_ptr<V4l2Io> NoV4l2Devices()
{
    return std::make_shared<NoDevices>();
}

} // namespace vistrel
