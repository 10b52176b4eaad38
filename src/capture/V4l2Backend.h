#pragma once

#include "capture/CaptureBackend.h"
#include "capture/V4l2Io.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct v4l2_queryctrl;

namespace vistrel {

// Frames thrown away after a stream starts. Webcams deliver their first frames black or far too
// dark while auto exposure and white balance settle, and some send a torn first frame; on common
// USB cameras this lasts five to eight frames. Ten covers them with a margin and costs a third of
// a second at 30 frames a second, paid only when the stream starts (the preview keeps it
// running).
constexpr int kDarkFramesAfterStreamStart = 10;

// Longest wait for one frame before a grab gives up; cameras in low light slow down to a few
// frames a second, so this is generous.
constexpr int kDefaultFrameTimeoutMs = 3000;

// A video-capture device node driven through V4L2. The format is always RGB24, which libv4l2
// converts to from whatever the camera sends. Streaming uses memory-mapped buffers, or read()
// for the rare device without streaming I/O.
class V4l2Backend : public CaptureBackend {
  public:
    V4l2Backend(std::shared_ptr<V4l2Io> io, std::string path, std::string description);
    ~V4l2Backend() override;

    void setFrameTimeout(int ms) { m_nFrameTimeoutMs = ms; }
    const std::string& path() const { return m_strPath; }

    std::string description() const override { return m_strDescription; }
    bool open() override;
    void close() override;
    bool currentSize(FrameSize& size) const override;
    std::vector<FrameSize> frameSizes() override;
    bool setSize(FrameSize wanted) override;
    bool startStream() override;
    void stopStream() override;
    bool streaming() const override { return m_bStreaming; }
    bool readFrame(RgbFrame& frame) override;
    std::vector<std::string> pixelFormats() override;
    std::vector<CaptureControl> controls() override;
    bool setControl(std::uint32_t id, std::int32_t value) override;
    std::string lastError() const override { return m_strError; }

  private:
    struct Buffer {
        void* start = nullptr;
        std::size_t length = 0;
    };

    bool fail(const std::string& text);
    bool failErrno(const std::string& what, int err);
    bool failStream(const std::string& text);
    bool reopen();
    bool probeBuffers();
    bool applyFormat(FrameSize size);
    void releaseBuffers();
    bool requeue(unsigned index);
    bool copyFrame(const std::uint8_t* data, std::size_t bytes, RgbFrame& frame);
    bool readMmapFrame(RgbFrame& frame);
    bool readReadFrame(RgbFrame& frame);
    bool waitForData(std::chrono::steady_clock::time_point deadline, int& events);
    std::vector<std::pair<std::int32_t, std::string>> menuItems(const v4l2_queryctrl& control);

    std::shared_ptr<V4l2Io> m_io;
    std::string m_strPath;
    std::string m_strDescription;
    std::string m_strError;
    std::string m_strCard; // the card name at the first connect
    int m_fd = -1;
    bool m_bMmap = true;
    bool m_bStreaming = false;
    bool m_bLost = false;
    FrameSize m_size;
    std::uint32_t m_nBytesPerLine = 0;
    std::uint32_t m_nSizeImage = 0;
    std::vector<Buffer> m_buffers;
    std::vector<std::uint8_t> m_readBuffer;
    int m_nFramesSinceStart = 0;
    int m_nFrameTimeoutMs = kDefaultFrameTimeoutMs;
};

// True when a node is a video-capture device (not a metadata or output node). Fills the card
// name. Opens and closes the node through io.
bool ProbeV4l2CaptureNode(V4l2Io& io, const std::string& path, std::string& card);

} // namespace vistrel
