#pragma once

#include "capture/CaptureBackend.h"
#include "capture/NetworkCamera.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vistrel {

// The reader thread of a camera stream and what it shares with the grabs. A grab starts it when
// none runs; it then counts every picture it keeps (the picture itself is the back-end's, under
// mutex()) until it ends by itself, saying why, or is stopped. A grab waits for a picture that
// came after the grab began.
class CameraStreamReader {
  public:
    enum class Outcome { Picture, Ended, TimedOut };

    ~CameraStreamReader() { stop(); }

    std::mutex& mutex() { return m_mutex; }
    // Set while the reader is asked to end; its body looks at it.
    const std::atomic<bool>& stopping() const { return m_bStop; }

    // With lock held on mutex(): joins a reader that ended, and unless one runs, calls prepare
    // (under the lock) and starts body on a thread; body returns why the stream ended.
    void ensureRunning(std::unique_lock<std::mutex>& lock, const std::function<void()>& prepare,
                       std::function<std::string()> body);
    // With lock held: waits until a picture comes after this call, the reader ends (why is its
    // reason; the reader is joined) or the deadline passes.
    Outcome waitForPicture(std::unique_lock<std::mutex>& lock,
                           std::chrono::steady_clock::time_point deadline, std::string& why);
    // The reader kept a picture (called by it with mutex() held).
    void pictureKept();
    // Ends the reader and waits for it; wake (under mutex()) interrupts whatever it waits on.
    void stop(const std::function<void()>& wake = {});

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    bool m_bDone = false;
    std::string m_strWhy;
    std::uint64_t m_nPictures = 0;
};

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
    // Fetches one picture to learn the frame size; a grab within a second after takes that
    // picture. A camera that does not answer connects all the same (its grabs fail until it
    // answers), so a cycle later on can find it back; only a URL this back-end cannot use fails.
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
    // The picture fetched at connecting, handed to a grab that follows at once rather than
    // fetched and decoded a second time.
    RgbFrame m_connectPicture;
    Clock::time_point m_connectPictureAt{};
};

} // namespace vistrel
