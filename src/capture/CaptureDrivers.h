#pragma once

#include "capture/CaptureDevice.h"
#include "capture/NetworkCamera.h"
#include "capture/V4l2Io.h"

#include <functional>
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
    std::string path;    // the device node; empty for the test pattern and network cameras
    std::string version; // the list's version text: the device node, the URL with its
                         // password hidden, or "built in"
    std::vector<FrameSize> sizes;
    std::vector<CaptureControl> controls; // the camera's own settings, with their ranges
    std::string error;                    // why it could not be asked, when it could not
};

// What kind of driver an entry of the list is.
enum class CaptureDriverKind { V4l2, Network, TestPattern };

// One driver as the list shows it: its name, and a second text that says which one it is (the
// version text of the list): the device node of a camera, the URL of a network camera with its
// password hidden, "built in" for the test pattern.
struct CaptureDriverEntry {
    CaptureDriverKind kind = CaptureDriverKind::TestPattern;
    std::string description;
    std::string version;
    std::string path;    // the device node of a V4L2 camera
    int networkSlot = 0; // the settings slot of a network camera (1 to 4)
    bool operator==(const CaptureDriverEntry&) const = default;
};

// Which entry of after is chosen once the list changed from before while index was chosen: the
// network camera in slot select when it is listed (one just added or edited), else the same
// driver as before (same kind, node and slot) wherever it went. A chosen driver that is gone
// gives way to the test pattern when the list ends with it, as it does unless cameras fill the
// list; -1 otherwise (nothing chosen).
int FollowDriver(const std::vector<CaptureDriverEntry>& before,
                 const std::vector<CaptureDriverEntry>& after, int index, int select = 0);

// A network camera of the settings, with the slot it is kept in.
struct NetworkCameraSlot {
    int slot = 0;
    NetworkCameraSettings camera;
};

// The installed capture drivers: every V4L2 video-capture device in device-number order (nodes
// that cannot capture, such as the metadata nodes of UVC cameras, are left out), then the
// network cameras of the settings, then the built-in test pattern, at most kMaxCaptureDrivers in
// all. With no camera the test pattern is driver 0.
class CaptureDriverList {
  public:
    // The network cameras, read afresh at every look-up.
    using NetworkCameraSource = std::function<std::vector<NetworkCameraSlot>()>;

    explicit CaptureDriverList(std::shared_ptr<V4l2Io> io = SystemV4l2Io());

    // The drivers' descriptions, looked up afresh. Two drivers of the same name are told apart
    // by their device node, or a network camera's host: "USB Camera (/dev/video2)".
    std::vector<std::string> descriptions();
    // The same with each driver's kind and version text.
    std::vector<CaptureDriverEntry> entries();
    // The list as it would be with these network cameras instead of the source's (a settings
    // page shows cameras it has not stored yet).
    std::vector<CaptureDriverEntry> entriesWith(const std::vector<NetworkCameraSlot>& cameras);

    // Where network cameras come from (none until this is set).
    void setNetworkCameraSource(NetworkCameraSource source)
    {
        m_networkCameras = std::move(source);
    }
    bool hasNetworkCameraSource() const { return static_cast<bool>(m_networkCameras); }

    // The index of the driver a name chooses: its device node (or a link to it, such as a
    // /dev/v4l/by-id name), a network camera's name, or "Test Pattern"; -1 when none is there.
    int find(const std::string& name);

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
        std::string path; // the device node of a V4L2 camera
        std::string description;
        CaptureDriverKind kind = CaptureDriverKind::TestPattern;
        std::string version;
        int networkSlot = 0;
        NetworkCameraSettings camera; // of a network camera
    };
    std::vector<Entry> scan(const std::vector<NetworkCameraSlot>* cameras = nullptr);

    std::shared_ptr<V4l2Io> m_io;
    int m_nFrameTimeoutMs;
    NetworkCameraSource m_networkCameras;
};

} // namespace vistrel
