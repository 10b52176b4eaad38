#include "FakeV4l2.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/videodev2.h>
#include <poll.h>
#include <stdexcept>
#include <sys/mman.h>

namespace vistrel::test {

namespace {

constexpr unsigned kMaxBuffers = 4;
constexpr std::uint32_t kOffsetShift = 24;

} // namespace

FakeV4l2::FakeV4l2() = default;
FakeV4l2::~FakeV4l2() = default;

FakeV4l2::Node& FakeV4l2::addCamera(const std::string& path, const std::string& card)
{
    std::lock_guard lock(m_mutex);
    auto s = std::make_unique<State>();
    s->node.path = path;
    s->node.card = card;
    s->node.caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    s->node.sizes = {{160, 120}, {320, 240}, {640, 480}, {1280, 720}};
    s->node.pixelFormats = {{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2"}, {V4L2_PIX_FMT_MJPEG, "Motion-JPEG"}};
    m_states.push_back(std::move(s));
    return m_states.back()->node;
}

FakeV4l2::Node& FakeV4l2::addMetadataNode(const std::string& path, const std::string& card)
{
    Node& n = addCamera(path, card);
    n.caps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    return n;
}

FakeV4l2::Node& FakeV4l2::node(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    if (State* s = newest(path))
        return s->node;
    throw std::runtime_error("no fake node " + path);
}

void FakeV4l2::setAutoDeliver(bool on)
{
    std::lock_guard lock(m_mutex);
    m_autoDeliver = on;
}

void FakeV4l2::deliver(const std::string& path, int n)
{
    {
        std::lock_guard lock(m_mutex);
        for (auto& s : m_states)
            if (s->node.path == path)
                for (int i = 0; i < n && produceLocked(*s); ++i) {
                }
    }
    m_changed.notify_all();
}

FakeV4l2::Node& FakeV4l2::replug(const std::string& path, const std::string& card)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_states.rbegin(); it != m_states.rend(); ++it) {
        if ((*it)->node.path != path)
            continue;
        // A camera plugged in again is a new device; descriptors of the old one stay dead.
        auto fresh = std::make_unique<State>();
        fresh->node = (*it)->node;
        fresh->node.card = card;
        m_states.push_back(std::move(fresh));
        return m_states.back()->node;
    }
    throw std::runtime_error("no fake node " + path);
}

void FakeV4l2::unplug(const std::string& path)
{
    {
        std::lock_guard lock(m_mutex);
        for (auto& s : m_states)
            if (s->node.path == path)
                s->unplugged = true;
    }
    m_changed.notify_all();
}

bool FakeV4l2::streaming(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    State* s = newest(path);
    return s && s->stream.on;
}

std::uint64_t FakeV4l2::framesProduced(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    State* s = newest(path);
    return s ? s->stream.produced : 0;
}

int FakeV4l2::waitingPolls()
{
    std::lock_guard lock(m_mutex);
    return m_waitingPolls;
}

int FakeV4l2::openDescriptors()
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_fds.size());
}

int FakeV4l2::mappedBuffers()
{
    std::lock_guard lock(m_mutex);
    return m_mapped;
}

std::vector<std::string> FakeV4l2::deviceNodes()
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> paths;
    for (auto& s : m_states)
        if (!s->unplugged)
            paths.push_back(s->node.path);
    SortByDeviceNumber(paths);
    return paths;
}

FakeV4l2::State* FakeV4l2::newest(const std::string& path)
{
    for (auto it = m_states.rbegin(); it != m_states.rend(); ++it)
        if ((*it)->node.path == path)
            return it->get();
    return nullptr;
}

FakeV4l2::State* FakeV4l2::stateOf(int fd)
{
    const auto it = m_fds.find(fd);
    return it == m_fds.end() ? nullptr : it->second;
}

int FakeV4l2::fail(int err)
{
    errno = err;
    return -1;
}

std::uint32_t FakeV4l2::bytesPerLine(const Node& n) const
{
    return static_cast<std::uint32_t>(n.current.width) * 3u + n.padding;
}

void FakeV4l2::fillFrame(const State& s, std::uint64_t number, std::uint8_t* out)
{
    const Node& n = s.node;
    const std::uint32_t stride = bytesPerLine(n);
    for (int y = 0; y < n.current.height; ++y) {
        std::uint8_t* p = out + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < n.current.width; ++x) {
            *p++ = static_cast<std::uint8_t>(number);
            *p++ = static_cast<std::uint8_t>(x);
            *p++ = static_cast<std::uint8_t>(y);
        }
        std::memset(p, 0xEE, n.padding);
    }
}

bool FakeV4l2::produceLocked(State& s)
{
    Stream& st = s.stream;
    if (!st.on || s.unplugged)
        return false;
    for (unsigned i = 0; i < st.buffers.size(); ++i) {
        Buffer& b = st.buffers[i];
        if (b.state != Buffer::State::Queued)
            continue;
        b.sequence = ++st.frames;
        ++st.produced;
        fillFrame(s, b.sequence, b.data.data());
        b.state = Buffer::State::Done;
        st.done.push_back(i);
        return true;
    }
    return false;
}

int FakeV4l2::open(const std::string& path, int)
{
    std::lock_guard lock(m_mutex);
    for (auto& s : m_states) {
        if (s->node.path != path || s->unplugged)
            continue;
        if (s->node.openError)
            return fail(s->node.openError);
        const int fd = m_nextFd++;
        m_fds[fd] = s.get();
        return fd;
    }
    return fail(ENOENT);
}

bool FakeV4l2::nodeGroup(const std::string& path, std::string& group, bool& member)
{
    std::lock_guard lock(m_mutex);
    for (auto& s : m_states) {
        if (s->node.path == path && !s->unplugged) {
            group = s->node.group;
            member = s->node.inGroup;
            return true;
        }
    }
    return false;
}

int FakeV4l2::close(int fd)
{
    std::lock_guard lock(m_mutex);
    State* s = stateOf(fd);
    if (!s)
        return fail(EBADF);
    m_fds.erase(fd);
    // The last close ends the stream and frees the buffers, as the kernel does.
    const bool others = std::any_of(m_fds.begin(), m_fds.end(),
                                    [&](const auto& entry) { return entry.second == s; });
    if (!others) {
        s->stream.on = false;
        s->stream.done.clear();
        s->stream.buffers.clear();
    }
    return 0;
}

int FakeV4l2::formatIoctl(State& s, unsigned long request, void* arg)
{
    Node& n = s.node;
    auto* fmt = static_cast<v4l2_format*>(arg);
    if (fmt->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return fail(EINVAL);
    if (request == VIDIOC_S_FMT) {
        if (n.busy || !s.stream.buffers.empty())
            return fail(EBUSY);
        FrameSize want{static_cast<int>(fmt->fmt.pix.width), static_cast<int>(fmt->fmt.pix.height)};
        if (n.sizes.empty()) {
            auto clampStep = [](int v, int lo, int hi, int step) {
                v = std::clamp(v, lo, hi);
                return lo + (v - lo) / std::max(step, 1) * std::max(step, 1);
            };
            n.current = {clampStep(want.width, n.minSize.width, n.maxSize.width, n.step.width),
                         clampStep(want.height, n.minSize.height, n.maxSize.height, n.step.height)};
        } else {
            long best = -1;
            for (const FrameSize& c : n.sizes) {
                const long d =
                    std::labs(long(c.width) - want.width) + std::labs(long(c.height) - want.height);
                if (best < 0 || d < best) {
                    best = d;
                    n.current = c;
                }
            }
        }
    }
    fmt->fmt.pix.width = static_cast<std::uint32_t>(n.current.width);
    fmt->fmt.pix.height = static_cast<std::uint32_t>(n.current.height);
    fmt->fmt.pix.pixelformat = n.convertible ? V4L2_PIX_FMT_RGB24 : V4L2_PIX_FMT_YUYV;
    fmt->fmt.pix.field = V4L2_FIELD_NONE;
    fmt->fmt.pix.bytesperline = bytesPerLine(n);
    fmt->fmt.pix.sizeimage = bytesPerLine(n) * static_cast<std::uint32_t>(n.current.height);
    return 0;
}

int FakeV4l2::ioctl(int fd, unsigned long request, void* arg)
{
    std::lock_guard lock(m_mutex);
    State* s = stateOf(fd);
    if (!s)
        return fail(EBADF);
    if (s->unplugged)
        return fail(ENODEV);
    Node& n = s->node;
    Stream& st = s->stream;

    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        std::strncpy(reinterpret_cast<char*>(cap->card), n.card.c_str(), sizeof(cap->card) - 1);
        std::strncpy(reinterpret_cast<char*>(cap->driver), "fake", sizeof(cap->driver) - 1);
        cap->device_caps = n.readOnly ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE : n.caps;
        cap->capabilities = cap->device_caps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
        return formatIoctl(*s, request, arg);
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* e = static_cast<v4l2_frmsizeenum*>(arg);
        if (e->pixel_format != V4L2_PIX_FMT_RGB24 || !n.convertible)
            return fail(EINVAL);
        if (n.sizes.empty()) {
            if (e->index != 0)
                return fail(EINVAL);
            e->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            e->stepwise = {static_cast<std::uint32_t>(n.minSize.width),
                           static_cast<std::uint32_t>(n.maxSize.width),
                           static_cast<std::uint32_t>(n.step.width),
                           static_cast<std::uint32_t>(n.minSize.height),
                           static_cast<std::uint32_t>(n.maxSize.height),
                           static_cast<std::uint32_t>(n.step.height)};
            return 0;
        }
        if (e->index >= n.sizes.size())
            return fail(EINVAL);
        e->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        e->discrete = {static_cast<std::uint32_t>(n.sizes[e->index].width),
                       static_cast<std::uint32_t>(n.sizes[e->index].height)};
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* req = static_cast<v4l2_requestbuffers*>(arg);
        if (n.readOnly || req->memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (n.busy || n.busyBuffers || st.on)
            return fail(EBUSY);
        for (const Buffer& b : st.buffers)
            if (b.mapped)
                return fail(EBUSY);
        st.buffers.clear();
        st.done.clear();
        req->count = std::min(req->count, kMaxBuffers);
        st.buffers.resize(req->count);
        for (Buffer& b : st.buffers)
            b.data.assign(bytesPerLine(n) * static_cast<std::size_t>(n.current.height), 0);
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto* buf = static_cast<v4l2_buffer*>(arg);
        if (buf->index >= st.buffers.size())
            return fail(EINVAL);
        buf->length = static_cast<std::uint32_t>(st.buffers[buf->index].data.size());
        buf->m.offset = buf->index << kOffsetShift;
        return 0;
    }
    case VIDIOC_QBUF: {
        auto* buf = static_cast<v4l2_buffer*>(arg);
        if (buf->index >= st.buffers.size() || st.buffers[buf->index].state != Buffer::State::Idle)
            return fail(EINVAL);
        st.buffers[buf->index].state = Buffer::State::Queued;
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto* buf = static_cast<v4l2_buffer*>(arg);
        if (!st.on)
            return fail(EINVAL);
        if (st.done.empty())
            return fail(EAGAIN);
        const unsigned i = st.done.front();
        st.done.erase(st.done.begin());
        Buffer& b = st.buffers[i];
        b.state = Buffer::State::Idle;
        buf->index = i;
        buf->bytesused = static_cast<std::uint32_t>(b.data.size());
        buf->sequence = static_cast<std::uint32_t>(b.sequence);
        buf->flags = V4L2_BUF_FLAG_MAPPED | (n.brokenFrames ? V4L2_BUF_FLAG_ERROR : 0u);
        return 0;
    }
    case VIDIOC_STREAMON:
        if (st.buffers.empty())
            return fail(EINVAL);
        st.on = true;
        st.frames = 0;
        return 0;
    case VIDIOC_STREAMOFF:
        st.on = false;
        st.done.clear();
        for (Buffer& b : st.buffers)
            b.state = Buffer::State::Idle;
        return 0;
    case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(arg);
        const bool next = q->id & V4L2_CTRL_FLAG_NEXT_CTRL;
        const std::uint32_t id = q->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        auto it = next ? n.controls.upper_bound(id) : n.controls.find(id);
        if (it == n.controls.end())
            return fail(EINVAL);
        const CaptureControl& c = it->second;
        *q = {};
        q->id = c.id;
        std::strncpy(reinterpret_cast<char*>(q->name), c.name.c_str(), sizeof(q->name) - 1);
        switch (c.type) {
        case CaptureControl::Type::Integer:
            q->type = V4L2_CTRL_TYPE_INTEGER;
            break;
        case CaptureControl::Type::Boolean:
            q->type = V4L2_CTRL_TYPE_BOOLEAN;
            break;
        case CaptureControl::Type::Menu:
            q->type = V4L2_CTRL_TYPE_MENU;
            break;
        case CaptureControl::Type::Button:
            q->type = V4L2_CTRL_TYPE_BUTTON;
            break;
        }
        q->minimum = c.minimum;
        q->maximum = c.maximum;
        q->step = c.step;
        q->default_value = c.defaultValue;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        auto* m = static_cast<v4l2_querymenu*>(arg);
        const auto it = n.controls.find(m->id);
        if (it == n.controls.end())
            return fail(EINVAL);
        for (const auto& [value, name] : it->second.menuItems) {
            if (static_cast<std::uint32_t>(value) == m->index) {
                std::memset(m->name, 0, sizeof(m->name));
                std::strncpy(reinterpret_cast<char*>(m->name), name.c_str(), sizeof(m->name) - 1);
                return 0;
            }
        }
        return fail(EINVAL);
    }
    case VIDIOC_ENUM_FMT: {
        auto* d = static_cast<v4l2_fmtdesc*>(arg);
        if (d->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return fail(EINVAL);
        const std::size_t own = n.pixelFormats.size();
        const std::uint32_t index = d->index;
        std::memset(d, 0, sizeof(*d));
        d->index = index;
        d->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        std::string description;
        if (index < own) {
            d->pixelformat = n.pixelFormats[index].first;
            description = n.pixelFormats[index].second;
        } else if (index == own && n.convertible) {
            d->pixelformat = V4L2_PIX_FMT_RGB24;
            d->flags = V4L2_FMT_FLAG_EMULATED;
            description = "RGB3";
        } else {
            return fail(EINVAL);
        }
        std::strncpy(reinterpret_cast<char*>(d->description), description.c_str(),
                     sizeof(d->description) - 1);
        return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto* v = static_cast<v4l2_control*>(arg);
        const auto it = n.controls.find(v->id);
        if (it == n.controls.end())
            return fail(EINVAL);
        if (request == VIDIOC_G_CTRL) {
            v->value = it->second.value;
            return 0;
        }
        if (v->value < it->second.minimum || v->value > it->second.maximum)
            return fail(ERANGE);
        it->second.value = v->value;
        return 0;
    }
    default:
        return fail(ENOTTY);
    }
}

void* FakeV4l2::mmap(std::size_t length, int, int, int fd, off_t offset)
{
    std::lock_guard lock(m_mutex);
    State* s = stateOf(fd);
    if (!s) {
        errno = EBADF;
        return MAP_FAILED;
    }
    if (s->unplugged) {
        errno = ENODEV;
        return MAP_FAILED;
    }
    const auto index = static_cast<std::size_t>(offset) >> kOffsetShift;
    if (index >= s->stream.buffers.size() || s->stream.buffers[index].data.size() != length) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    ++s->stream.buffers[index].mapped;
    ++m_mapped;
    return s->stream.buffers[index].data.data();
}

int FakeV4l2::munmap(void* address, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    for (auto& s : m_states)
        for (Buffer& b : s->stream.buffers)
            if (b.mapped && b.data.data() == address && b.data.size() == length) {
                --b.mapped;
                --m_mapped;
                return 0;
            }
    return fail(EINVAL);
}

ssize_t FakeV4l2::read(int fd, void* buffer, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    State* s = stateOf(fd);
    if (!s)
        return fail(EBADF);
    if (s->unplugged)
        return fail(ENODEV);
    if (!s->node.readOnly)
        return fail(EINVAL);
    const std::size_t size =
        bytesPerLine(s->node) * static_cast<std::size_t>(s->node.current.height);
    if (length < size)
        return fail(EINVAL);
    ++s->stream.produced;
    fillFrame(*s, ++s->stream.frames, static_cast<std::uint8_t*>(buffer));
    return static_cast<ssize_t>(size);
}

int FakeV4l2::poll(int fd, short, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    State* s = stateOf(fd);
    if (!s)
        return POLLNVAL;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (s->unplugged)
            return POLLERR | POLLHUP;
        if (s->node.readOnly)
            return POLLIN;
        if (!s->stream.on)
            return POLLERR;
        if (!s->stream.done.empty())
            return POLLIN;
        if (m_autoDeliver && produceLocked(*s))
            return POLLIN;
        ++m_waitingPolls;
        const std::cv_status waited = m_changed.wait_until(lock, deadline);
        --m_waitingPolls;
        if (waited == std::cv_status::timeout && s->stream.done.empty() && !s->unplugged)
            return 0;
    }
}

} // namespace vistrel::test
