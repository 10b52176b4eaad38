#include "capture/CaptureDrivers.h"

#include "capture/TestPatternBackend.h"
#include "capture/V4l2Backend.h"

#include <cerrno>
#include <fcntl.h>
#include <map>

namespace vistrel {

CaptureDriverList::CaptureDriverList(std::shared_ptr<V4l2Io> io)
    : m_io(std::move(io)), m_nFrameTimeoutMs(kDefaultFrameTimeoutMs)
{
}

std::vector<CaptureDriverList::Entry> CaptureDriverList::scan()
{
    std::vector<Entry> entries;
    for (const std::string& path : m_io->deviceNodes()) {
        if (static_cast<int>(entries.size()) >= kMaxCaptureDrivers)
            break;
        std::string card;
        if (ProbeV4l2CaptureNode(*m_io, path, card))
            entries.push_back({path, card.empty() ? path : card});
    }

    std::map<std::string, int> uses;
    for (const Entry& e : entries)
        ++uses[e.description];
    for (Entry& e : entries)
        if (uses[e.description] > 1)
            e.description += " (" + e.path + ")";

    if (static_cast<int>(entries.size()) < kMaxCaptureDrivers)
        entries.push_back({{}, TestPatternBackend::kName});
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
        CaptureDriverInfo info{
            static_cast<int>(i), entries[i].description, entries[i].path, {}, {}};
        const std::unique_ptr<CaptureDevice> device = createDevice(static_cast<int>(i));
        if (device && device->connect()) {
            info.sizes = device->frameSizes();
            device->disconnect();
        } else {
            info.error = device ? device->lastError() : "gone";
        }
        drivers.push_back(std::move(info));
    }
    return drivers;
}

std::unique_ptr<CaptureDevice> CaptureDriverList::createDevice(int index)
{
    const auto entries = scan();
    if (index < 0 || index >= static_cast<int>(entries.size()))
        return nullptr;
    const Entry& e = entries[static_cast<std::size_t>(index)];
    if (e.path.empty())
        return std::make_unique<CaptureDevice>(std::make_unique<TestPatternBackend>());
    auto backend = std::make_unique<V4l2Backend>(m_io, e.path, e.description);
    backend->setFrameTimeout(m_nFrameTimeoutMs);
    return std::make_unique<CaptureDevice>(std::move(backend));
}

} // namespace vistrel
