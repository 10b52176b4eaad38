#pragma once

#include "capture/CaptureBackend.h"
#include "capture/ImageFormat.h"
#include "capture/RgbFrame.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vistrel {

// Which of the driver's own dialogs exist.
struct CaptureCapabilities {
    bool hasDlgVideoFormat = false;  // frame size choice: always, once connected
    bool hasDlgVideoSource = false;  // camera settings: when the camera has controls
    bool hasDlgVideoDisplay = false; // never: frames are always shown as they come
};

// A capture driver as the program uses it: connect and disconnect, the current format as a
// BITMAPINFOHEADER, a live preview at a rate, grabbing one frame into a frame buffer and saving
// that as a bitmap file.
//
// Thread-safe: every operation takes the device's mutex, so the upload worker grabs directly
// while the user interface switches the preview. The queries of its state (name, connected,
// capabilities, format, status, preview, period, last error) answer from a copy kept beside that
// mutex, so they never wait for a grab from a camera that has stopped answering. Preview and
// grabs share one open stream, so a grab never finds the camera busy with our own preview.
// Failures are values; lastError() keeps a one-line text of the last one.
class CaptureDevice {
  public:
    // Receives each preview frame, on the preview thread. Once setPreview(false), disconnect() or
    // setPreviewListener() returns, no further frame arrives. The listener must not call those
    // three itself.
    using FrameListener = std::function<void(const RgbFrame&)>;

    explicit CaptureDevice(std::unique_ptr<CaptureBackend> backend);
    ~CaptureDevice();
    CaptureDevice(const CaptureDevice&) = delete;
    CaptureDevice& operator=(const CaptureDevice&) = delete;

    std::string name() const;

    bool connect();
    // False when not connected.
    bool disconnect();
    bool isConnected() const;

    // The current format: 24-bit RGB at the current frame size.
    bool getFormat(ImageFormat& format) const;
    // Puts a stored format back: the offered frame size nearest to its width and height. A
    // header that cannot describe a picture (all zero, size below 40, planes other than 1, no
    // width or height, or larger than 16384) is refused and the format left as it was. Bit count
    // and compression are not taken: every frame reaches us as 24-bit RGB.
    bool setFormat(const ImageFormat& format);
    // The current frame size (the capture status).
    bool status(FrameSize& size) const;
    std::vector<FrameSize> frameSizes() const;
    // What the camera sends before conversion (see CaptureBackend::pixelFormats).
    std::vector<std::string> pixelFormats() const;
    CaptureCapabilities capabilities() const;

    std::vector<CaptureControl> controls() const;
    bool setControl(std::uint32_t id, std::int32_t value);

    // Preview on keeps the stream running and hands frames to the listener every period
    // milliseconds (0: as they come, at most a hundred a second). Without a listener no frame is
    // read, but the stream stays on so the camera keeps its exposure.
    bool setPreview(bool on);
    bool isPreviewing() const;
    bool setPreviewRate(int periodMs);
    int previewPeriod() const;
    void setPreviewListener(FrameListener listener);

    // One fresh frame into the frame buffer, without stopping the preview. With the preview off
    // the stream is started for this grab and stopped again.
    bool grabFrame();
    // The frame buffer as a 24-bit bitmap file.
    bool saveFrame(const std::string& path);
    RgbFrame frame() const;

    std::string lastError() const;

  private:
    // Copies the state the queries answer from; called with m_mutex held after every change.
    void publish();
    bool fail(const std::string& text);
    bool failFromBackend();
    void ensurePreviewThread();
    void waitForListenerCall();
    void previewLoop();

    // m_mutex for an operation. The preview thread holds the mutex while it waits for the camera
    // and takes it again at once when a camera answers slower than the preview period; before it
    // asks the camera again it lets every operation waiting here go first, so none waits longer
    // than the grab in progress.
    class CallerLock {
      public:
        explicit CallerLock(const CaptureDevice& device);
        ~CallerLock();
        CallerLock(const CallerLock&) = delete;
        CallerLock& operator=(const CallerLock&) = delete;

      private:
        const CaptureDevice& m_device;
    };

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_wake;
    mutable std::atomic<int> m_nCallersWaiting{0};
    std::unique_ptr<CaptureBackend> m_backend;
    bool m_bConnected = false;
    bool m_bPreview = false;
    bool m_bQuit = false;
    int m_nPreviewPeriod = 0;
    std::uint64_t m_nStateChanges = 0;
    RgbFrame m_frame;
    std::string m_strError;
    std::thread m_previewThread;

    struct Shown {
        std::string name;
        bool connected = false;
        bool haveSize = false;
        FrameSize size;
        bool preview = false;
        int period = 0;
        std::string error;
        bool hasControls = false; // asked once, when connected
    };
    mutable std::mutex m_shownMutex; // taken last, held only to copy
    Shown m_shown;

    std::mutex m_listenerMutex;
    FrameListener m_listener;
    bool m_bHasListener = false; // guarded by m_mutex, mirrors m_listener
    bool m_bHasControls = false; // the camera's controls, asked when it was connected
};

} // namespace vistrel
