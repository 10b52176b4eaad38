#pragma once

#include "capture/CaptureDevice.h"
#include "capture/V4l2Io.h"

#include <memory>
#include <string>
#include <vector>

namespace vistrel {

// The driver list holds at most this many entries (indices 0 to 9).
constexpr int kMaxCaptureDrivers = 10;

// A video device node that exists but cannot be opened (most often: its group, "video", is not
// among the user's groups). The driver list leaves it out; this says why.
struct UnusableCaptureNode {
    std::string path;
    int error = 0;     // errno of the open
    std::string group; // the node's group, when known
    bool inGroup = false;
};

// One driver of the list with the frame sizes it offers (connected for the moment of asking).
struct CaptureDriverInfo {
    int index = 0;
    std::string description;
    std::string path; // the device node; empty for the test pattern
    std::vector<FrameSize> sizes;
    std::string error; // why it could not be asked, when it could not
};

// The installed capture drivers: every V4L2 video-capture device in device-number order (nodes
// that cannot capture, such as the metadata nodes of UVC cameras, are left out), then the
// built-in test pattern. With no camera the test pattern is driver 0.
class CaptureDriverList {
  public:
    explicit CaptureDriverList(std::shared_ptr<V4l2Io> io = SystemV4l2Io());

    // The drivers' descriptions, looked up afresh. Two cameras of the same name are told apart
    // by their device node: "USB Camera (/dev/video2)".
    std::vector<std::string> descriptions();

    // A device for the driver at index, not yet connected; nullptr when there is no such
    // driver.
    std::unique_ptr<CaptureDevice> createDevice(int index);

    // Device nodes that exist but cannot be opened (see UnusableCaptureNode).
    std::vector<UnusableCaptureNode> unusableNodes();

    // Every driver with its index, device node and the sizes it offers. Each is connected and
    // disconnected again to ask, so a camera that another program streams from may say less.
    std::vector<CaptureDriverInfo> describe();

    // How long a V4L2 grab waits for one frame (tests shorten it).
    void setFrameTimeout(int ms) { m_nFrameTimeoutMs = ms; }

  private:
    struct Entry {
        std::string path; // empty for the test pattern
        std::string description;
    };
    std::vector<Entry> scan();

    std::shared_ptr<V4l2Io> m_io;
    int m_nFrameTimeoutMs;
};

} // namespace vistrel
