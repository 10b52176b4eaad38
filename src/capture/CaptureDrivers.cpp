#include "capture/CaptureDrivers.h"

#include "capture/TestPatternBackend.h"
#include "capture/V4l2Backend.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <map>

namespace vistrel {

namespace {

constexpr const char* kBuiltInVersion = "built in";

} // namespace

CaptureDriverList::CaptureDriverList(std::shared_ptr<V4l2Io> io)
    : m_io(std::move(io)), m_nFrameTimeoutMs(kDefaultFrameTimeoutMs)
{
}

std::vector<CaptureDriverList::Entry>
CaptureDriverList::scan(const std::vector<NetworkCameraSlot>* cameras)
{
    std::vector<Entry> entries;
    const auto full = [&entries] { return static_cast<int>(entries.size()) >= kMaxCaptureDrivers; };
    for (const std::string& path : m_io->deviceNodes()) {
        if (full())
            break;
        std::string card;
        if (ProbeV4l2CaptureNode(*m_io, path, card)) {
            Entry e;
            e.path = path;
            e.description = card.empty() ? path : card;
            e.kind = CaptureDriverKind::V4l2;
            e.version = path;
            entries.push_back(std::move(e));
        }
    }
    if (cameras || m_networkCameras) {
        for (const NetworkCameraSlot& n : cameras ? *cameras : m_networkCameras()) {
            if (full())
                break;
            Entry e;
            e.description = n.camera.name;
            e.kind = CaptureDriverKind::Network;
            e.version = UrlWithoutPassword(n.camera.url);
            if (CertificateUnchecked(n.camera))
                e.version += " (certificate not checked)";
            e.networkSlot = n.slot;
            e.camera = n.camera;
            entries.push_back(std::move(e));
        }
    }

    // Names that occur twice get what tells them apart.
    std::map<std::string, int> uses;
    for (const Entry& e : entries)
        ++uses[e.description];
    for (Entry& e : entries) {
        if (uses[e.description] <= 1)
            continue;
        if (e.kind == CaptureDriverKind::V4l2)
            e.description += " (" + e.path + ")";
        else
            e.description += " (" + UrlHost(e.camera.url) + ")";
    }

    if (!full()) {
        Entry e;
        e.description = TestPatternBackend::kName;
        e.version = kBuiltInVersion;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<std::string> CaptureDriverList::descriptions()
{
    std::vector<std::string> names;
    for (const Entry& e : scan())
        names.push_back(e.description);
    return names;
}

std::vector<UnusableCaptureNode> CaptureDriverList::unusableNodes()
{
    std::vector<UnusableCaptureNode> nodes;
    for (const std::string& path : m_io->deviceNodes()) {
        const int fd = m_io->open(path, O_RDWR | O_NONBLOCK);
        if (fd >= 0) {
            m_io->close(fd);
            continue;
        }
        const int err = errno;
        if (err == ENOENT || err == ENODEV || err == ENXIO) // gone while we looked
            continue;
        UnusableCaptureNode node{path, err, {}, false};
        m_io->nodeGroup(path, node.group, node.inGroup);
        nodes.push_back(std::move(node));
    }
    return nodes;
}

std::vector<CaptureDriverInfo> CaptureDriverList::describe()
{
    std::vector<CaptureDriverInfo> drivers;
    const auto entries = scan();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        CaptureDriverInfo info;
        info.index = static_cast<int>(i);
        info.description = entries[i].description;
        info.path = entries[i].path;
        info.version = entries[i].version;
        const std::unique_ptr<CaptureDevice> device = createDevice(static_cast<int>(i));
        if (device && device->connect()) {
            info.sizes = device->frameSizes();
            info.controls = device->controls();
            // A network camera connects without a picture; one that sent none did not answer.
            if (info.sizes.empty() && entries[i].kind == CaptureDriverKind::Network)
                info.error = "the camera did not answer" +
                             (device->lastError().empty() ? "" : ": " + device->lastError());
            device->disconnect();
        } else {
            info.error = device ? device->lastError() : "gone";
        }
        drivers.push_back(std::move(info));
    }
    return drivers;
}

std::vector<CaptureDriverEntry> CaptureDriverList::entries()
{
    std::vector<CaptureDriverEntry> shown;
    for (const Entry& e : scan())
        shown.push_back({e.kind, e.description, e.version, e.path, e.networkSlot});
    return shown;
}

std::vector<CaptureDriverEntry>
CaptureDriverList::entriesWith(const std::vector<NetworkCameraSlot>& cameras)
{
    std::vector<CaptureDriverEntry> shown;
    for (const Entry& e : scan(&cameras))
        shown.push_back({e.kind, e.description, e.version, e.path, e.networkSlot});
    return shown;
}

int CaptureDriverList::find(const std::string& name)
{
    if (name.empty())
        return -1;
    // A link names the node it leads to; a name that leads nowhere is compared as written.
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(name, error);
    const std::vector<Entry> entries = scan();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const bool byNode =
            e.kind == CaptureDriverKind::V4l2 && (e.path == name || (!error && target == e.path));
        const bool byName =
            e.kind != CaptureDriverKind::V4l2 &&
            (e.description == name || (!e.camera.name.empty() && e.camera.name == name));
        if (byNode || byName)
            return static_cast<int>(i);
    }
    return -1;
}

std::unique_ptr<CaptureDevice> CaptureDriverList::createDevice(int index)
{
    const auto entries = scan();
    if (index < 0 || index >= static_cast<int>(entries.size()))
        return nullptr;
    const Entry& e = entries[static_cast<std::size_t>(index)];
    switch (e.kind) {
    case CaptureDriverKind::TestPattern:
        return std::make_unique<CaptureDevice>(std::make_unique<TestPatternBackend>());
    case CaptureDriverKind::Network: {
        NetworkCameraSettings camera = e.camera;
        camera.name = e.description;
        return std::make_unique<CaptureDevice>(MakeNetworkCameraBackend(camera));
    }
    case CaptureDriverKind::V4l2:
        break;
    }
    auto backend = std::make_unique<V4l2Backend>(m_io, e.path, e.description);
    backend->setFrameTimeout(m_nFrameTimeoutMs);
    return std::make_unique<CaptureDevice>(std::move(backend));
}

int FollowDriver(const std::vector<CaptureDriverEntry>& before,
                 const std::vector<CaptureDriverEntry>& after, int index, int select)
{
    for (std::size_t i = 0; select != 0 && i < after.size(); ++i)
        if (after[i].kind == CaptureDriverKind::Network && after[i].networkSlot == select)
            return static_cast<int>(i);
    if (index >= 0 && index < static_cast<int>(before.size())) {
        const CaptureDriverEntry& was = before[static_cast<std::size_t>(index)];
        for (std::size_t i = 0; i < after.size(); ++i) {
            const CaptureDriverEntry& e = after[i];
            if (e.kind == was.kind && e.path == was.path && e.networkSlot == was.networkSlot)
                return static_cast<int>(i);
        }
    }
    if (!after.empty() && after.back().kind == CaptureDriverKind::TestPattern)
        return static_cast<int>(after.size()) - 1;
    return -1;
}

} // namespace vistrel
