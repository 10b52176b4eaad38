#pragma once

#include "capture/CaptureBackend.h"
#include "capture/V4l2Io.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vistrel::test {

// An in-memory V4L2 device set behind the V4l2Io seam, answering as libv4l2 does for cameras
// whose frames it converts to RGB24. Frame n of a stream (numbered from 1 at each stream start)
// has pixel (x, y) = (n mod 256, x mod 256, y mod 256), so a test can tell frames apart.
//
// Buffers complete in the order they were queued. With autoDeliver (the default) a wait for a
// frame is answered at once by the next frame; without it frames come only from deliver().
class FakeV4l2 : public V4l2Io {
  public:
    struct Node {
        std::string path;
        std::string card;
        std::uint32_t caps = 0;                 // device caps; 0 = a video-capture camera
        std::vector<FrameSize> sizes;           // discrete sizes; empty = stepwise range below
        FrameSize minSize{}, maxSize{}, step{}; // the stepwise range
        FrameSize current{640, 480};
        std::uint32_t padding = 0; // extra bytes at the end of every row
        bool busy = false;         // another program streams: S_FMT and REQBUFS say EBUSY
        bool busyBuffers = false;  // the same, in the format we ask for: only REQBUFS refuses
        bool convertible = true;   // false: no format converts to RGB24
        bool brokenFrames = false; // every frame comes flagged as damaged
        bool readOnly = false;     // read() I/O instead of streaming
        int openError = 0;         // open() fails with this errno (EACCES: not in its group)
        std::string group = "video";
        bool inGroup = false;
        std::map<std::uint32_t, CaptureControl> controls; // menus answer from menuItems
        // The camera's own pixel formats (fourcc, description); RGB24 is added as libv4l2's
        // emulated format when the node is convertible.
        std::vector<std::pair<std::uint32_t, std::string>> pixelFormats;
    };

    FakeV4l2();
    ~FakeV4l2() override;

    // A camera with the usual UVC sizes; returns its node for more settings.
    Node& addCamera(const std::string& path, const std::string& card);
    // A node that cannot capture (like a UVC camera's metadata node).
    Node& addMetadataNode(const std::string& path, const std::string& card);
    Node& node(const std::string& path);

    void setAutoDeliver(bool on);
    // Completes up to n queued buffers of the node's stream with its next frames.
    void deliver(const std::string& path, int n);
    // The camera goes away: every later call on its descriptors fails with ENODEV, waits wake.
    void unplug(const std::string& path);
    // A camera (of that card name) is plugged in at the node again.
    Node& replug(const std::string& path, const std::string& card);

    bool streaming(const std::string& path);
    std::uint64_t framesProduced(const std::string& path);
    // How many poll() calls wait for a frame now (a grab that waits, not one that got its frame).
    int waitingPolls();
    int openDescriptors();
    int mappedBuffers();

    std::vector<std::string> deviceNodes() override;
    int open(const std::string& path, int flags) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    void* mmap(std::size_t length, int prot, int flags, int fd, off_t offset) override;
    int munmap(void* address, std::size_t length) override;
    ssize_t read(int fd, void* buffer, std::size_t length) override;
    int poll(int fd, short events, int timeoutMs) override;
    bool nodeGroup(const std::string& path, std::string& group, bool& member) override;

  private:
    struct Buffer {
        std::vector<std::uint8_t> data;
        enum class State { Idle, Queued, Done } state = State::Idle;
        std::uint64_t sequence = 0;
        int mapped = 0;
    };
    struct Stream {
        bool on = false;
        std::vector<Buffer> buffers;
        std::vector<unsigned> done; // completed, oldest first
        std::uint64_t frames = 0;
        std::uint64_t produced = 0;
    };
    struct State {
        Node node;
        bool unplugged = false;
        Stream stream;
    };

    State* stateOf(int fd);
    State* newest(const std::string& path);
    int fail(int err);
    bool produceLocked(State& s);
    void fillFrame(const State& s, std::uint64_t number, std::uint8_t* out);
    std::uint32_t bytesPerLine(const Node& n) const;
    int formatIoctl(State& s, unsigned long request, void* arg);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<State>> m_states;
    std::map<int, State*> m_fds;
    int m_nextFd = 1000;
    bool m_autoDeliver = true;
    int m_mapped = 0;
    int m_waitingPolls = 0;
};

} // namespace vistrel::test
