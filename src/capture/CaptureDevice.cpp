#include "capture/CaptureDevice.h"

#include <chrono>
#include <cstdlib>

namespace vistrel {

namespace {

constexpr int kMaxDimension = 16384;
// A preview period of 0 means "as frames come"; the floor keeps a source that never waits (the
// test pattern) from spinning a core.
constexpr int kMinPreviewPeriodMs = 10;

} // namespace

CaptureDevice::CallerLock::CallerLock(const CaptureDevice& device) : m_device(device)
{
    ++m_device.m_nCallersWaiting;
    m_device.m_mutex.lock();
    --m_device.m_nCallersWaiting;
}

CaptureDevice::CallerLock::~CallerLock()
{
    m_device.m_mutex.unlock();
    // The preview thread may be waiting for the callers before it to be through.
    m_device.m_wake.notify_all();
}

CaptureDevice::CaptureDevice(std::unique_ptr<CaptureBackend> backend)
    : m_backend(std::move(backend))
{
    m_shown.name = m_backend->description();
}

void CaptureDevice::publish()
{
    Shown shown;
    shown.name = m_backend->description();
    shown.connected = m_bConnected;
    shown.haveSize = m_bConnected && m_backend->currentSize(shown.size);
    shown.preview = m_bPreview;
    shown.period = m_nPreviewPeriod;
    shown.error = m_strError;
    shown.hasControls = m_bConnected && m_bHasControls;
    std::lock_guard lock(m_shownMutex);
    m_shown = std::move(shown);
}

CaptureDevice::~CaptureDevice()
{
    {
        CallerLock lock(*this);
        m_bQuit = true;
        m_bPreview = false;
    }
    m_wake.notify_all();
    if (m_previewThread.joinable())
        m_previewThread.join();
    CallerLock lock(*this);
    if (m_bConnected) {
        m_backend->stopStream();
        m_backend->close();
        m_bConnected = false;
    }
}

std::string CaptureDevice::name() const
{
    std::lock_guard lock(m_shownMutex);
    return m_shown.name;
}

bool CaptureDevice::fail(const std::string& text)
{
    m_strError = text;
    publish();
    return false;
}

bool CaptureDevice::failFromBackend()
{
    return fail(m_backend->lastError());
}

bool CaptureDevice::connect()
{
    CallerLock lock(*this);
    if (m_bConnected)
        return true;
    if (!m_backend->open())
        return failFromBackend();
    m_bConnected = true;
    m_bHasControls = !m_backend->controls().empty();
    ++m_nStateChanges;
    publish();
    return true;
}

bool CaptureDevice::disconnect()
{
    {
        CallerLock lock(*this);
        if (!m_bConnected)
            return fail("Not connected");
        m_bPreview = false;
        m_backend->stopStream();
        m_backend->close();
        m_bConnected = false;
        ++m_nStateChanges;
        publish();
    }
    m_wake.notify_all();
    waitForListenerCall();
    return true;
}

bool CaptureDevice::isConnected() const
{
    std::lock_guard lock(m_shownMutex);
    return m_shown.connected;
}

bool CaptureDevice::getFormat(ImageFormat& format) const
{
    std::lock_guard lock(m_shownMutex);
    if (!m_shown.connected || !m_shown.haveSize)
        return false;
    format = Rgb24Format(m_shown.size.width, m_shown.size.height);
    return true;
}

bool CaptureDevice::setFormat(const ImageFormat& format)
{
    CallerLock lock(*this);
    if (!m_bConnected)
        return fail("Not connected");
    const long long height = std::llabs(static_cast<long long>(format.height));
    if (format.size < kBitmapInfoHeaderSize || format.planes != 1 || format.width <= 0 ||
        height == 0 || format.width > kMaxDimension || height > kMaxDimension)
        return fail("Video format refused: no picture size");

    // A camera cannot change its frame size while streaming; the preview resumes afterwards.
    const bool wasStreaming = m_backend->streaming();
    if (wasStreaming)
        m_backend->stopStream();
    const bool ok = m_backend->setSize({format.width, static_cast<int>(height)});
    if (!ok)
        m_strError = m_backend->lastError();
    if (wasStreaming && !m_backend->startStream()) {
        m_bPreview = false;
        return failFromBackend();
    }
    publish();
    return ok;
}

bool CaptureDevice::status(FrameSize& size) const
{
    std::lock_guard lock(m_shownMutex);
    if (!m_shown.connected || !m_shown.haveSize)
        return false;
    size = m_shown.size;
    return true;
}

std::vector<FrameSize> CaptureDevice::frameSizes() const
{
    CallerLock lock(*this);
    if (!m_bConnected)
        return {};
    return m_backend->frameSizes();
}

std::vector<std::string> CaptureDevice::pixelFormats() const
{
    CallerLock lock(*this);
    if (!m_bConnected)
        return {};
    return m_backend->pixelFormats();
}

CaptureCapabilities CaptureDevice::capabilities() const
{
    std::lock_guard lock(m_shownMutex);
    CaptureCapabilities caps;
    if (!m_shown.connected)
        return caps;
    caps.hasDlgVideoFormat = true;
    caps.hasDlgVideoSource = m_shown.hasControls;
    return caps;
}

std::vector<CaptureControl> CaptureDevice::controls() const
{
    CallerLock lock(*this);
    if (!m_bConnected)
        return {};
    return m_backend->controls();
}

bool CaptureDevice::setControl(std::uint32_t id, std::int32_t value)
{
    CallerLock lock(*this);
    if (!m_bConnected)
        return fail("Not connected");
    return m_backend->setControl(id, value) || failFromBackend();
}

bool CaptureDevice::setPreview(bool on)
{
    {
        CallerLock lock(*this);
        if (!m_bConnected)
            return fail("Not connected");
        if (on) {
            if (!m_backend->streaming() && !m_backend->startStream())
                return failFromBackend();
            m_bPreview = true;
            ensurePreviewThread();
        } else {
            m_bPreview = false;
            m_backend->stopStream();
        }
        ++m_nStateChanges;
        publish();
    }
    m_wake.notify_all();
    if (!on)
        waitForListenerCall();
    return true;
}

void CaptureDevice::waitForListenerCall()
{
    std::lock_guard listenerLock(m_listenerMutex);
}

bool CaptureDevice::isPreviewing() const
{
    std::lock_guard lock(m_shownMutex);
    return m_shown.preview;
}

bool CaptureDevice::setPreviewRate(int periodMs)
{
    {
        CallerLock lock(*this);
        if (!m_bConnected)
            return fail("Not connected");
        if (periodMs < 0)
            return fail("Invalid preview period");
        m_nPreviewPeriod = periodMs;
        ++m_nStateChanges;
        publish();
    }
    m_wake.notify_all();
    return true;
}

int CaptureDevice::previewPeriod() const
{
    std::lock_guard lock(m_shownMutex);
    return m_shown.period;
}

void CaptureDevice::setPreviewListener(FrameListener listener)
{
    // Taking the listener mutex waits for a call in flight, so once this returns the old
    // listener is never called again.
    std::lock_guard listenerLock(m_listenerMutex);
    const bool has = static_cast<bool>(listener);
    m_listener = std::move(listener);
    {
        CallerLock lock(*this);
        m_bHasListener = has;
        ++m_nStateChanges;
    }
    m_wake.notify_all();
}

bool CaptureDevice::grabFrame()
{
    CallerLock lock(*this);
    if (!m_bConnected)
        return fail("Not connected");
    bool started = false;
    if (!m_backend->streaming()) {
        if (!m_backend->startStream())
            return failFromBackend();
        started = true;
    }
    RgbFrame frame;
    const bool ok = m_backend->readFrame(frame);
    if (!ok)
        m_strError = m_backend->lastError();
    if (started && !m_bPreview)
        m_backend->stopStream();
    publish();
    if (!ok)
        return false;
    m_frame = std::move(frame);
    return true;
}

bool CaptureDevice::saveFrame(const std::string& path)
{
    CallerLock lock(*this);
    if (!m_bConnected)
        return fail("Not connected");
    std::string error;
    if (!SaveRgbFrameAsBmp(m_frame, path, &error))
        return fail(error);
    return true;
}

RgbFrame CaptureDevice::frame() const
{
    CallerLock lock(*this);
    return m_frame;
}

std::string CaptureDevice::lastError() const
{
    std::lock_guard lock(m_shownMutex);
    return m_shown.error;
}

void CaptureDevice::ensurePreviewThread()
{
    if (!m_previewThread.joinable())
        m_previewThread = std::thread([this] { previewLoop(); });
}

void CaptureDevice::previewLoop()
{
    std::unique_lock lock(m_mutex);
    while (!m_bQuit) {
        if (m_nCallersWaiting > 0) {
            m_wake.wait(lock, [&] { return m_bQuit || m_nCallersWaiting == 0; });
            continue;
        }
        if (!m_bPreview || !m_bConnected || !m_bHasListener) {
            const auto seen = m_nStateChanges;
            m_wake.wait(lock, [&] { return m_bQuit || m_nStateChanges != seen; });
            continue;
        }
        const auto period = std::chrono::milliseconds(
            m_nPreviewPeriod < kMinPreviewPeriodMs ? kMinPreviewPeriodMs : m_nPreviewPeriod);
        const auto next = std::chrono::steady_clock::now() + period;

        RgbFrame frame;
        bool have = false;
        // A stream lost to an unplugged camera is retried once a period and fails fast.
        if (m_backend->streaming() || m_backend->startStream())
            have = m_backend->readFrame(frame);
        if (!have)
            m_strError = m_backend->lastError();
        publish();

        if (have) {
            // The listener mutex comes before the device mutex. Looking at the preview flag again
            // under both means no frame is handed over once the preview was switched off.
            lock.unlock();
            {
                std::lock_guard listenerLock(m_listenerMutex);
                lock.lock();
                const bool deliver = m_bPreview && m_bConnected && !m_bQuit;
                lock.unlock();
                if (deliver && m_listener)
                    m_listener(frame);
            }
            lock.lock();
        }
        const auto seen = m_nStateChanges;
        m_wake.wait_until(lock, next, [&] { return m_bQuit || m_nStateChanges != seen; });
    }
}

} // namespace vistrel
