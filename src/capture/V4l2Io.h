#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vistrel {

// The few system calls the V4L2 back-end makes, behind one interface so tests can put a fake
// camera behind it. Calls return like their system counterparts: -1 (or MAP_FAILED) with errno
// set on failure.
class V4l2Io {
  public:
    virtual ~V4l2Io() = default;

    // Paths of the video device nodes, in device-number order (/dev/video0, /dev/video1, …,
    // /dev/video10).
    virtual std::vector<std::string> deviceNodes() = 0;

    virtual int open(const std::string& path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void* mmap(std::size_t length, int prot, int flags, int fd, off_t offset) = 0;
    virtual int munmap(void* address, std::size_t length) = 0;
    virtual ssize_t read(int fd, void* buffer, std::size_t length) = 0;
    // Waits at most timeoutMs for events on fd; returns the events that occurred (POLLIN,
    // POLLERR, POLLHUP…), 0 on time-out, -1 with errno on failure.
    virtual int poll(int fd, short events, int timeoutMs) = 0;

    // The group that owns a device node, and whether this process has it among its groups; false
    // when the node cannot be looked at. Used to explain a node that cannot be opened.
    virtual bool nodeGroup(const std::string& path, std::string& group, bool& member);
};

// The real devices through libv4l2, which converts every camera format to the RGB24 we ask for.
std::shared_ptr<V4l2Io> SystemV4l2Io();

// A machine without cameras: no device nodes, every call fails. The driver list then holds the
// built-in test pattern alone (for tests, benchmarks, and forcing the test pattern).
std::shared_ptr<V4l2Io> NoV4l2Devices();

// Sorts video device node paths by their device number ("/dev/video2" before "/dev/video10").
void SortByDeviceNumber(std::vector<std::string>& paths);

} // namespace vistrel
