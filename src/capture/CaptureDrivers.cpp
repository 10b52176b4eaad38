#include "capture/CaptureDrivers.h"

#include "capture/TestPatternBackend.h"
#include "capture/V4l2Backend.h"

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
