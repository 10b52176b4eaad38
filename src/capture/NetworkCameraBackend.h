#pragma once

#include "capture/CaptureBackend.h"
#include "capture/NetworkCamera.h"

#include <chrono>
#include <string>
#include <vector>

namespace vistrel {

// What the HTTP and RTSP back-ends share: the camera's name as the driver's, its one frame size
// (the camera's own, learnt from its pictures), no controls, and grabs bounded in time whose
// failures name the host and the cause.
class NetworkCameraBackend : public CaptureBackend {
  public:
    using Clock = std::chrono::steady_clock;

    NetworkCameraBackend(NetworkCameraSettings camera, NetworkCameraLimits limits,
                         NetworkCameraKind kind);

    const NetworkCameraSettings& camera() const { return m_camera; }
    const NetworkCameraLimits& limits() const { return m_limits; }

    std::string description() const override { return m_camera.name; }
    // Fetches one picture to learn the frame size. A camera that does not answer connects all the
    // same (its grabs fail until it answers), so a cycle later on can find it back; only a URL
    // this back-end cannot use fails.
    bool open() override;
    void close() override;
    bool currentSize(FrameSize& size) const override;
    std::vector<FrameSize> frameSizes() override;
    // The camera decides its frame size: before its first picture the size asked for is the one
    // reported; after it, the camera's stays.
    bool setSize(FrameSize wanted) override;
    bool startStream() override;
    void stopStream() override;
    bool streaming() const override { return m_bStreaming; }
    bool readFrame(RgbFrame& frame) override;
    std::vector<std::string> pixelFormats() override;
    std::vector<CaptureControl> controls() override { return {}; }
    bool setControl(std::uint32_t id, std::int32_t value) override;
    std::string lastError() const override { return m_strError; }

  protected:
    // One picture that began to arrive after the call, before deadline. On failure cause says
    // why, without the host (the caller adds it).
    virtual bool grab(RgbFrame& frame, Clock::time_point deadline, std::string& cause) = 0;
    // Lets go of a connection kept open between grabs.
    virtual void hangUp() = 0;
    // What the camera sends ("JPEG", "Motion-JPEG", "H.264"), for the Format dialog.
    void setSourceFormat(std::string format) { m_strSourceFormat = std::move(format); }
    // "3 seconds", "1.5 seconds": the time limit as messages say it.
    std::string timeLimitText() const;

  private:
    NetworkCameraSettings m_camera;
    NetworkCameraLimits m_limits;
    NetworkCameraKind m_kind;
    std::string m_strHost;
    std::string m_strError;
    std::string m_strSourceFormat;
    bool m_bOpen = false;
    bool m_bStreaming = false;
    bool m_bSizeKnown = false;
    FrameSize m_size{640, 480};
};

} // namespace vistrel
