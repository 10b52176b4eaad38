#pragma once

#include "capture/RgbFrame.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vistrel {

struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

// What a connected camera offers for the Format dialog: its frame sizes and what it sends
// before every frame is turned into 24-bit RGB.
struct FormatOffer {
    std::vector<FrameSize> sizes;
    std::vector<std::string> pixelFormats;
};

// A setting of the camera itself (brightness, contrast, …), shown by the Source dialog.
struct CaptureControl {
    enum class Type { Integer, Boolean, Menu, Button };
    std::uint32_t id = 0;
    std::string name;
    Type type = Type::Integer;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 1;
    std::int32_t defaultValue = 0;
    std::int32_t value = 0;
    // The choices of a Menu control, by value, in value order (values the device skips are
    // left out).
    std::vector<std::pair<std::int32_t, std::string>> menuItems;
};

// One kind of capture hardware as CaptureDevice drives it. A back-end is used by one thread at a
// time (CaptureDevice holds its mutex around every call) and keeps a one-line text of its last
// failure. Frames always come out as 24-bit RGB.
class CaptureBackend {
  public:
    virtual ~CaptureBackend() = default;

    // The driver's name as the driver list shows it.
    virtual std::string description() const = 0;

    virtual bool open() = 0;
    virtual void close() = 0;

    // The frame size the next frame will have.
    virtual bool currentSize(FrameSize& size) const = 0;
    // The frame sizes the hardware offers, smallest first (may be empty when it cannot say).
    virtual std::vector<FrameSize> frameSizes() = 0;
    // Switches to the offered frame size nearest to the one asked for. Not while streaming.
    virtual bool setSize(FrameSize wanted) = 0;

    virtual bool startStream() = 0;
    virtual void stopStream() = 0;
    virtual bool streaming() const = 0;
    // A frame captured after this call began (never one that waited in a buffer), or false
    // within a bounded time. Only while streaming.
    virtual bool readFrame(RgbFrame& frame) = 0;

    // The pixel formats the hardware itself sends, by name ("YUYV 4:2:2", "Motion-JPEG"), before
    // they are converted to RGB; empty when the back-end cannot say.
    virtual std::vector<std::string> pixelFormats() { return {}; }

    virtual std::vector<CaptureControl> controls() = 0;
    virtual bool setControl(std::uint32_t id, std::int32_t value) = 0;

    virtual std::string lastError() const = 0;
};

} // namespace vistrel
