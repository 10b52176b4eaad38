#include "capture/NetworkCameraBackend.h"

#include <cstdio>

namespace vistrel {

void CameraStreamReader::ensureRunning(std::unique_lock<std::mutex>& lock,
                                       const std::function<void()>& prepare,
                                       std::function<std::string()> body)
{
    if (m_thread.joinable() && m_bDone) {
        lock.unlock();
        m_thread.join();
        lock.lock();
    }
    if (m_thread.joinable())
        return;
    m_bStop = false;
    m_bDone = false;
    m_strWhy.clear();
    prepare();
    m_thread = std::thread([this, body = std::move(body)] {
        std::string why = body();
        std::lock_guard guard(m_mutex);
        m_strWhy = why.empty() ? "the stream ended" : why;
        m_bDone = true;
        m_cv.notify_all();
    });
}

CameraStreamReader::Outcome
CameraStreamReader::waitForPicture(std::unique_lock<std::mutex>& lock,
                                   std::chrono::steady_clock::time_point deadline, std::string& why)
{
    const std::uint64_t seen = m_nPictures;
    m_cv.wait_until(lock, deadline, [&] { return m_nPictures != seen || m_bDone; });
    if (m_nPictures != seen)
        return Outcome::Picture;
    if (!m_bDone)
        return Outcome::TimedOut;
    why = m_strWhy;
    lock.unlock();
    m_thread.join();
    lock.lock();
    return Outcome::Ended;
}

void CameraStreamReader::pictureKept()
{
    ++m_nPictures;
    m_cv.notify_all();
}

void CameraStreamReader::stop(const std::function<void()>& wake)
{
    {
        std::lock_guard guard(m_mutex);
        m_bStop = true;
        if (wake)
            wake();
    }
    if (m_thread.joinable())
        m_thread.join();
}

NetworkCameraBackend::NetworkCameraBackend(NetworkCameraSettings camera, NetworkCameraLimits limits,
                                           NetworkCameraKind kind)
    : m_camera(std::move(camera)), m_limits(limits), m_kind(kind), m_strHost(UrlHost(m_camera.url))
{
}

bool NetworkCameraBackend::open()
{
    if (NetworkCameraKindOf(m_camera.url) != m_kind) {
        m_strError = "The camera's address " + UrlWithoutPassword(m_camera.url) +
                     " is no http://, https:// or rtsp:// URL";
        return false;
    }
    m_bOpen = true;
    m_bStreaming = false;
    m_strError.clear();
    // The frame size comes with the first picture. A failure stays in lastError().
    RgbFrame first;
    if (startStream()) {
        if (readFrame(first)) {
            m_connectPicture = std::move(first);
            m_connectPictureAt = Clock::now();
        }
        stopStream();
    }
    return true;
}

void NetworkCameraBackend::close()
{
    stopStream();
    m_bOpen = false;
    m_connectPicture = RgbFrame();
}

bool NetworkCameraBackend::currentSize(FrameSize& size) const
{
    if (!m_bOpen)
        return false;
    size = m_size;
    return true;
}

std::vector<FrameSize> NetworkCameraBackend::frameSizes()
{
    // Until a picture has come the size is only a guess: a camera that did not answer offers
    // nothing.
    if (!m_bOpen || !m_bSizeKnown)
        return {};
    return {m_size};
}

bool NetworkCameraBackend::setSize(FrameSize wanted)
{
    if (!m_bOpen) {
        m_strError = "Not connected";
        return false;
    }
    if (!m_bSizeKnown && wanted.width > 0 && wanted.height > 0)
        m_size = wanted;
    return true;
}

bool NetworkCameraBackend::startStream()
{
    if (!m_bOpen) {
        m_strError = "Not connected";
        return false;
    }
    m_bStreaming = true;
    return true;
}

void NetworkCameraBackend::stopStream()
{
    m_bStreaming = false;
    hangUp();
}

bool NetworkCameraBackend::readFrame(RgbFrame& frame)
{
    if (!m_bStreaming) {
        m_strError = "The stream is not running";
        return false;
    }
    if (!m_connectPicture.rgb.empty()) {
        RgbFrame kept = std::move(m_connectPicture);
        m_connectPicture = RgbFrame();
        if (Clock::now() - m_connectPictureAt < std::chrono::seconds(1)) {
            frame = std::move(kept);
            return true;
        }
    }
    std::string cause;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_limits.timeoutMs);
    if (!grab(frame, deadline, cause)) {
        m_strError = "No picture from " + m_strHost + ": " + cause;
        return false;
    }
    m_size = {frame.width, frame.height};
    m_bSizeKnown = true;
    return true;
}

std::vector<std::string> NetworkCameraBackend::pixelFormats()
{
    if (m_strSourceFormat.empty())
        return {};
    return {m_strSourceFormat};
}

bool NetworkCameraBackend::setControl(std::uint32_t, std::int32_t)
{
    m_strError = "A network camera has no settings that can be changed here";
    return false;
}

std::string NetworkCameraBackend::timeLimitText() const
{
    const int ms = m_limits.timeoutMs;
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000) + (ms == 1000 ? " second" : " seconds");
    char text[32];
    std::snprintf(text, sizeof text, "%.1f seconds", ms / 1000.0);
    return text;
}

} // namespace vistrel
