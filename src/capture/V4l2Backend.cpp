#include "capture/V4l2Backend.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

namespace vistrel {

namespace {

constexpr unsigned kBufferCount = 4;
// Broken frames in a row (after the dark ones) before a grab gives up on the camera.
constexpr int kMaxBrokenFrames = 10;

// Sizes offered by cameras with a continuous or stepwise range: the common ones inside it.
constexpr FrameSize kCommonSizes[] = {{160, 120},  {176, 144},  {320, 240},  {352, 288},
                                      {640, 360},  {640, 480},  {800, 600},  {1024, 768},
                                      {1280, 720}, {1280, 960}, {1920, 1080}};

std::uint32_t capsOf(const v4l2_capability& cap)
{
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

std::string cardName(const v4l2_capability& cap)
{
    const char* card = reinterpret_cast<const char*>(cap.card);
    return std::string(card, strnlen(card, sizeof(cap.card)));
}

// Errors after which the stream is given up and the device reopened on the next stream start.
// An unplugged camera first fails DQBUF with EIO (its queue is put in an error state), then every
// call with ENODEV; libv4l2 also reports a run of undecodable frames as EIO, and reopening
// recovers from that as well.
bool deviceGone(int err)
{
    return err == ENODEV || err == ENXIO || err == EIO || err == EPIPE;
}

} // namespace

bool ProbeV4l2CaptureNode(V4l2Io& io, const std::string& path, std::string& card)
{
    const int fd = io.open(path, O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return false;
    v4l2_capability cap{};
    const bool ok = io.ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 &&
                    (capsOf(cap) & V4L2_CAP_VIDEO_CAPTURE) != 0 &&
                    (capsOf(cap) & (V4L2_CAP_STREAMING | V4L2_CAP_READWRITE)) != 0;
    if (ok)
        card = cardName(cap);
    io.close(fd);
    return ok;
}

V4l2Backend::V4l2Backend(std::shared_ptr<V4l2Io> io, std::string path, std::string description)
    : m_io(std::move(io)), m_strPath(std::move(path)), m_strDescription(std::move(description))
{
}

V4l2Backend::~V4l2Backend()
{
    close();
}

bool V4l2Backend::fail(const std::string& text)
{
    m_strError = text;
    return false;
}

bool V4l2Backend::failErrno(const std::string& what, int err)
{
    if (m_fd >= 0 && deviceGone(err)) {
        // Unplugged: give the buffers back now; every later call fails at once until the
        // device is connected again.
        m_bLost = true;
        releaseBuffers();
        m_bStreaming = false;
    }
    return fail(m_strPath + ": " + what + ": " + std::strerror(err));
}

bool V4l2Backend::failStream(const std::string& text)
{
    // A stalled or failing stream is stopped; the next grab or preview frame starts it afresh,
    // which is what brings most cameras back.
    stopStream();
    return fail(text);
}

bool V4l2Backend::open()
{
    if (m_fd >= 0)
        return true;
    m_bLost = false;
    m_fd = m_io->open(m_strPath, O_RDWR | O_NONBLOCK);
    if (m_fd < 0)
        return fail("Cannot open " + m_strPath + ": " + std::strerror(errno));

    v4l2_capability cap{};
    if (m_io->ioctl(m_fd, VIDIOC_QUERYCAP, &cap) != 0) {
        const int err = errno;
        close();
        return fail(m_strPath + ": not a V4L2 device: " + std::strerror(err));
    }
    const std::uint32_t caps = capsOf(cap);
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) {
        close();
        return fail(m_strPath + " cannot capture video");
    }
    // After an unplug the node number may go to another camera; that is not our driver.
    const std::string card = cardName(cap);
    if (!m_strCard.empty() && card != m_strCard) {
        close();
        return fail(m_strPath + " is now another device (" + card + ")");
    }
    m_strCard = card;
    if (caps & V4L2_CAP_STREAMING) {
        m_bMmap = true;
    } else if (caps & V4L2_CAP_READWRITE) {
        m_bMmap = false;
    } else {
        close();
        return fail(m_strPath + " offers neither streaming nor read I/O");
    }

    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_io->ioctl(m_fd, VIDIOC_G_FMT, &fmt) != 0) {
        const int err = errno;
        close();
        return fail(m_strPath + ": VIDIOC_G_FMT: " + std::strerror(err));
    }
    // A camera streaming for another program refuses a new format with EBUSY. libv4l2 skips
    // the driver call when the camera's own format does not change, so asking for buffers
    // makes sure: that too is refused while someone else streams.
    if (!applyFormat({static_cast<int>(fmt.fmt.pix.width), static_cast<int>(fmt.fmt.pix.height)}) ||
        !probeBuffers()) {
        const std::string error = m_strError;
        close();
        return fail(error);
    }
    return true;
}

bool V4l2Backend::probeBuffers()
{
    if (!m_bMmap)
        return true;
    v4l2_requestbuffers req{};
    req.count = 1;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (m_io->ioctl(m_fd, VIDIOC_REQBUFS, &req) != 0)
        return failErrno("VIDIOC_REQBUFS", errno);
    req.count = 0;
    m_io->ioctl(m_fd, VIDIOC_REQBUFS, &req);
    return true;
}

void V4l2Backend::close()
{
    stopStream();
    releaseBuffers();
    if (m_fd >= 0) {
        m_io->close(m_fd);
        m_fd = -1;
    }
    m_bStreaming = false;
}

bool V4l2Backend::applyFormat(FrameSize size)
{
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = static_cast<std::uint32_t>(size.width);
    fmt.fmt.pix.height = static_cast<std::uint32_t>(size.height);
    fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_RGB24;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (m_io->ioctl(m_fd, VIDIOC_S_FMT, &fmt) != 0)
        return failErrno("VIDIOC_S_FMT", errno);
    if (fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_RGB24)
        return fail(m_strPath + ": the camera offers no format convertible to 24-bit RGB");
    if (fmt.fmt.pix.width == 0 || fmt.fmt.pix.height == 0 || fmt.fmt.pix.width > 16384 ||
        fmt.fmt.pix.height > 16384)
        return fail(m_strPath + ": the driver reports no usable frame size");
    m_size = {static_cast<int>(fmt.fmt.pix.width), static_cast<int>(fmt.fmt.pix.height)};
    m_nBytesPerLine = std::max<std::uint32_t>(fmt.fmt.pix.bytesperline, fmt.fmt.pix.width * 3u);
    m_nSizeImage = std::max<std::uint32_t>(
        fmt.fmt.pix.sizeimage, m_nBytesPerLine * (fmt.fmt.pix.height - 1) + fmt.fmt.pix.width * 3u);
    return true;
}

bool V4l2Backend::currentSize(FrameSize& size) const
{
    if (m_fd < 0)
        return false;
    size = m_size;
    return true;
}

std::vector<FrameSize> V4l2Backend::frameSizes()
{
    std::vector<FrameSize> sizes;
    if (m_fd < 0 || m_bLost)
        return sizes;
    for (std::uint32_t index = 0; index < 256; ++index) {
        v4l2_frmsizeenum e{};
        e.index = index;
        e.pixel_format = V4L2_PIX_FMT_RGB24;
        if (m_io->ioctl(m_fd, VIDIOC_ENUM_FRAMESIZES, &e) != 0)
            break;
        if (e.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.push_back(
                {static_cast<int>(e.discrete.width), static_cast<int>(e.discrete.height)});
            continue;
        }
        const auto& s = e.stepwise;
        const std::uint32_t sw = std::max<std::uint32_t>(s.step_width, 1);
        const std::uint32_t sh = std::max<std::uint32_t>(s.step_height, 1);
        sizes.push_back({static_cast<int>(s.min_width), static_cast<int>(s.min_height)});
        for (const FrameSize& c : kCommonSizes) {
            const auto w = static_cast<std::uint32_t>(c.width);
            const auto h = static_cast<std::uint32_t>(c.height);
            if (w >= s.min_width && w <= s.max_width && h >= s.min_height && h <= s.max_height &&
                (w - s.min_width) % sw == 0 && (h - s.min_height) % sh == 0)
                sizes.push_back(c);
        }
        sizes.push_back({static_cast<int>(s.max_width), static_cast<int>(s.max_height)});
        break; // a range is the only entry
    }
    std::sort(sizes.begin(), sizes.end(), [](const FrameSize& a, const FrameSize& b) {
        const long long aa = 1LL * a.width * a.height, ba = 1LL * b.width * b.height;
        return aa != ba ? aa < ba : a.width < b.width;
    });
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

bool V4l2Backend::setSize(FrameSize wanted)
{
    if (m_fd < 0)
        return fail("Not connected");
    if (m_bLost)
        return fail(m_strError);
    if (m_bStreaming)
        return fail(m_strPath + ": the frame size cannot change while streaming");
    FrameSize chosen = wanted;
    const auto offered = frameSizes();
    if (!offered.empty()) {
        // Nearest by the sum of the width and height differences; ties go to the larger size.
        long best = -1;
        for (const FrameSize& s : offered) {
            const long d =
                std::labs(long(s.width) - wanted.width) + std::labs(long(s.height) - wanted.height);
            if (best < 0 || d <= best) {
                best = d;
                chosen = s;
            }
        }
    }
    return applyFormat(chosen);
}

void V4l2Backend::releaseBuffers()
{
    for (Buffer& b : m_buffers)
        if (b.start)
            m_io->munmap(b.start, b.length);
    const bool had = !m_buffers.empty();
    m_buffers.clear();
    if (had && m_fd >= 0 && !m_bLost) {
        v4l2_requestbuffers req{};
        req.count = 0;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        m_io->ioctl(m_fd, VIDIOC_REQBUFS, &req);
    }
}

bool V4l2Backend::reopen()
{
    // The camera was unplugged: if it is back at its node, take it up again at the size it had,
    // so a publisher running for days survives a USB reset. Until then this fails at once.
    const FrameSize size = m_size;
    close();
    if (!open()) {
        m_bLost = true;
        return false;
    }
    if (!(m_size == size))
        setSize(size);
    return true;
}

bool V4l2Backend::startStream()
{
    if (m_bLost && !reopen())
        return false;
    if (m_fd < 0)
        return fail("Not connected");
    if (m_bStreaming)
        return true;
    m_nFramesSinceStart = 0;
    if (!m_bMmap) {
        m_readBuffer.assign(m_nSizeImage, 0);
        m_bStreaming = true;
        return true;
    }

    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (m_io->ioctl(m_fd, VIDIOC_REQBUFS, &req) != 0)
        return failErrno("VIDIOC_REQBUFS", errno);
    if (req.count < 2) {
        m_buffers.resize(req.count);
        releaseBuffers();
        return fail(m_strPath + ": the driver granted too few buffers");
    }
    m_buffers.resize(req.count);
    for (unsigned i = 0; i < req.count; ++i) {
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = i;
        if (m_io->ioctl(m_fd, VIDIOC_QUERYBUF, &buf) != 0) {
            const int err = errno;
            releaseBuffers();
            return failErrno("VIDIOC_QUERYBUF", err);
        }
        void* p = m_io->mmap(buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, buf.m.offset);
        if (p == MAP_FAILED) {
            const int err = errno;
            releaseBuffers();
            return failErrno("mmap", err);
        }
        m_buffers[i] = {p, buf.length};
    }
    for (unsigned i = 0; i < req.count; ++i) {
        if (!requeue(i)) {
            const std::string error = m_strError;
            releaseBuffers();
            return fail(error);
        }
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_io->ioctl(m_fd, VIDIOC_STREAMON, &type) != 0) {
        const int err = errno;
        releaseBuffers();
        return failErrno("VIDIOC_STREAMON", err);
    }
    m_bStreaming = true;
    return true;
}

void V4l2Backend::stopStream()
{
    if (!m_bStreaming)
        return;
    m_bStreaming = false;
    if (m_bMmap && !m_bLost) {
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        m_io->ioctl(m_fd, VIDIOC_STREAMOFF, &type);
    }
    releaseBuffers();
    m_readBuffer.clear();
}

bool V4l2Backend::requeue(unsigned index)
{
    v4l2_buffer buf{};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    buf.index = index;
    if (m_io->ioctl(m_fd, VIDIOC_QBUF, &buf) != 0)
        return failErrno("VIDIOC_QBUF", errno);
    return true;
}

bool V4l2Backend::copyFrame(const std::uint8_t* data, std::size_t bytes, RgbFrame& frame)
{
    const std::size_t rowBytes = static_cast<std::size_t>(m_size.width) * 3u;
    const std::size_t needed =
        static_cast<std::size_t>(m_nBytesPerLine) * (m_size.height - 1) + rowBytes;
    if (bytes < needed)
        return false;
    frame.resize(m_size.width, m_size.height);
    for (int y = 0; y < m_size.height; ++y)
        std::memcpy(frame.row(y), data + static_cast<std::size_t>(y) * m_nBytesPerLine, rowBytes);
    return true;
}

bool V4l2Backend::readFrame(RgbFrame& frame)
{
    if (m_bLost)
        return fail(m_strError);
    if (m_fd < 0 || !m_bStreaming)
        return fail("The stream is not running");
    return m_bMmap ? readMmapFrame(frame) : readReadFrame(frame);
}

bool V4l2Backend::readMmapFrame(RgbFrame& frame)
{
    v4l2_buffer buf{};
    auto dequeue = [&] {
        buf = {};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        return m_io->ioctl(m_fd, VIDIOC_DQBUF, &buf) == 0;
    };

    // Frames already waiting were taken before this grab was asked for: hand them back.
    while (dequeue()) {
        ++m_nFramesSinceStart;
        if (!requeue(buf.index))
            return false;
    }
    if (errno != EAGAIN)
        return failErrno("VIDIOC_DQBUF", errno);

    int broken = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nFrameTimeoutMs);
    for (;;) {
        int events = 0;
        if (!waitForData(deadline, events))
            return false;
        if (events == 0)
            continue;
        if (!dequeue()) {
            if (errno != EAGAIN)
                return failErrno("VIDIOC_DQBUF", errno);
            if (events & (POLLERR | POLLHUP | POLLNVAL))
                return failStream(m_strPath + ": the camera stream failed");
            continue;
        }
        ++m_nFramesSinceStart;
        const bool usable =
            !(buf.flags & V4L2_BUF_FLAG_ERROR) &&
            m_nFramesSinceStart > kDarkFramesAfterStreamStart && buf.index < m_buffers.size() &&
            copyFrame(static_cast<const std::uint8_t*>(m_buffers[buf.index].start),
                      std::min<std::size_t>(buf.bytesused, m_buffers[buf.index].length), frame);
        if (!requeue(buf.index))
            return false;
        if (usable)
            return true;
        if (m_nFramesSinceStart > kDarkFramesAfterStreamStart && ++broken > kMaxBrokenFrames)
            return failStream(m_strPath + ": the camera sends only broken frames");
        // A dark, broken or short frame: the camera is alive, so the wait starts afresh.
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nFrameTimeoutMs);
    }
}

// Waits until the camera has data or the deadline passes. False (with the error set) when the
// deadline passed or poll failed; events is 0 when poll returned early without any.
bool V4l2Backend::waitForData(std::chrono::steady_clock::time_point deadline, int& events)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0)
        return failStream(m_strPath + ": no frame from the camera within " +
                          std::to_string(m_nFrameTimeoutMs) + " ms");
    events = m_io->poll(m_fd, POLLIN, static_cast<int>(left));
    if (events < 0)
        return failErrno("poll", errno);
    return true;
}

bool V4l2Backend::readReadFrame(RgbFrame& frame)
{
    int broken = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nFrameTimeoutMs);
    for (;;) {
        int events = 0;
        if (!waitForData(deadline, events))
            return false;
        if (events == 0)
            continue;
        const ssize_t n = m_io->read(m_fd, m_readBuffer.data(), m_readBuffer.size());
        if (n < 0) {
            if (errno == EAGAIN)
                continue;
            return failErrno("read", errno);
        }
        if (n == 0)
            return fail(m_strPath + ": the camera stream ended");
        ++m_nFramesSinceStart;
        if (m_nFramesSinceStart > kDarkFramesAfterStreamStart &&
            copyFrame(m_readBuffer.data(), static_cast<std::size_t>(n), frame))
            return true;
        if (m_nFramesSinceStart > kDarkFramesAfterStreamStart && ++broken > kMaxBrokenFrames)
            return failStream(m_strPath + ": the camera sends only broken frames");
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nFrameTimeoutMs);
    }
}

std::vector<std::string> V4l2Backend::pixelFormats()
{
    std::vector<std::string> names;
    if (m_fd < 0 || m_bLost)
        return names;
    for (std::uint32_t index = 0; index < 64; ++index) {
        v4l2_fmtdesc d{};
        d.index = index;
        d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (m_io->ioctl(m_fd, VIDIOC_ENUM_FMT, &d) != 0)
            break;
        // libv4l2 adds the formats it converts to; only the camera's own are of interest.
        if (d.flags & V4L2_FMT_FLAG_EMULATED)
            continue;
        const char* text = reinterpret_cast<const char*>(d.description);
        names.emplace_back(text, strnlen(text, sizeof(d.description)));
    }
    return names;
}

std::vector<std::pair<std::int32_t, std::string>>
V4l2Backend::menuItems(const v4l2_queryctrl& control)
{
    std::vector<std::pair<std::int32_t, std::string>> items;
    // Menus are small; the bound keeps a device that reports a huge range from stalling us.
    if (control.maximum < control.minimum || control.maximum - control.minimum > 255)
        return items;
    for (std::int32_t value = control.minimum; value <= control.maximum; ++value) {
        v4l2_querymenu m{};
        m.id = control.id;
        m.index = static_cast<std::uint32_t>(value);
        if (m_io->ioctl(m_fd, VIDIOC_QUERYMENU, &m) != 0)
            continue; // a value the device skips
        if (control.type == V4L2_CTRL_TYPE_INTEGER_MENU) {
            items.emplace_back(value, std::to_string(m.value));
        } else {
            const char* text = reinterpret_cast<const char*>(m.name);
            items.emplace_back(value, std::string(text, strnlen(text, sizeof(m.name))));
        }
    }
    return items;
}

std::vector<CaptureControl> V4l2Backend::controls()
{
    std::vector<CaptureControl> result;
    if (m_fd < 0 || m_bLost)
        return result;
    std::uint32_t next = V4L2_CTRL_FLAG_NEXT_CTRL;
    for (int guard = 0; guard < 1024; ++guard) {
        v4l2_queryctrl q{};
        q.id = next;
        if (m_io->ioctl(m_fd, VIDIOC_QUERYCTRL, &q) != 0)
            break;
        next = q.id | V4L2_CTRL_FLAG_NEXT_CTRL;
        if (q.flags & V4L2_CTRL_FLAG_DISABLED)
            continue;
        CaptureControl c;
        switch (q.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            c.type = CaptureControl::Type::Integer;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            c.type = CaptureControl::Type::Boolean;
            break;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            c.type = CaptureControl::Type::Menu;
            break;
        case V4L2_CTRL_TYPE_BUTTON:
            c.type = CaptureControl::Type::Button;
            break;
        default:
            continue; // classes and compound controls have no place in a simple dialog
        }
        const char* name = reinterpret_cast<const char*>(q.name);
        c.id = q.id;
        c.name.assign(name, strnlen(name, sizeof(q.name)));
        c.minimum = q.minimum;
        c.maximum = q.maximum;
        c.step = q.step;
        c.defaultValue = q.default_value;
        c.value = q.default_value;
        if (c.type == CaptureControl::Type::Menu)
            c.menuItems = menuItems(q);
        if (c.type != CaptureControl::Type::Button && !(q.flags & V4L2_CTRL_FLAG_WRITE_ONLY)) {
            v4l2_control v{};
            v.id = q.id;
            if (m_io->ioctl(m_fd, VIDIOC_G_CTRL, &v) == 0)
                c.value = v.value;
        }
        result.push_back(std::move(c));
    }
    return result;
}

bool V4l2Backend::setControl(std::uint32_t id, std::int32_t value)
{
    if (m_fd < 0)
        return fail("Not connected");
    if (m_bLost)
        return fail(m_strError);
    v4l2_control v{};
    v.id = id;
    v.value = value;
    if (m_io->ioctl(m_fd, VIDIOC_S_CTRL, &v) != 0)
        return failErrno("VIDIOC_S_CTRL", errno);
    return true;
}

} // namespace vistrel
