#pragma once

#include "capture/NetworkCameraBackend.h"

#include <atomic>
#include <cstdint>

struct AVFrame;
struct SwsContext;

namespace vistrel {

// A camera reached over RTSP (interleaved in TCP) through FFmpeg's libraries: H.264, H.265,
// MJPEG or whatever else they decode. While the stream runs a reader thread keeps the connection
// and decodes every frame (a frame cannot be decoded without those before it), keeping the
// newest; a grab converts the first frame decoded after it began to RGB. A connection that ends
// or stalls is dropped, and the next grab connects again.
class RtspCameraBackend : public NetworkCameraBackend {
  public:
    RtspCameraBackend(const NetworkCameraSettings& camera, const NetworkCameraLimits& limits);
    ~RtspCameraBackend() override;

  protected:
    bool grab(RgbFrame& frame, Clock::time_point deadline, std::string& cause) override;
    void hangUp() override;

  private:
    static int interrupted(void* self);
    // Before the camera's credentials go to FFmpeg, which follows a redirect to any host and
    // hands them on: asks the camera itself (with them only when it asks for them) whether it
    // redirects, and refuses a redirect to another host, saying so. Empty when it does not.
    std::string redirectRefusal(std::int64_t deadlineNs) const;
    // Why url (where the stream was sent) is refused: another host than the camera's, while the
    // camera has credentials. Empty when it is the camera's own.
    std::string otherHostRefusal(const std::string& url) const;
    std::string runStream();
    void stopReader();
    bool convert(AVFrame* picture, RgbFrame& frame, std::string& cause);

    std::string m_strUrl; // with the settings' credentials in it: never shown
    SwsContext* m_sws = nullptr;
    // Until the stream is open, connecting gives up at this time (steady clock, nanoseconds).
    std::atomic<std::int64_t> m_nOpenDeadline{0};

    // Shared with the reader thread, under m_stream.mutex(). Declared last: the reader ends
    // before the rest goes.
    std::string m_strCodec;
    AVFrame* m_newest = nullptr;
    CameraStreamReader m_stream;
};

} // namespace vistrel
