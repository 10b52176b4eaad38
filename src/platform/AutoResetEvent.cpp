#include "platform/AutoResetEvent.h"

#include <chrono>

namespace vistrel {

void AutoResetEvent::Set()
{
    {
        std::lock_guard lock(m_mutex);
        m_bSet = true;
    }
    m_cond.notify_one();
}

void AutoResetEvent::Reset()
{
    std::lock_guard lock(m_mutex);
    m_bSet = false;
}

bool AutoResetEvent::Wait(long timeoutMs)
{
    std::unique_lock lock(m_mutex);
    if (timeoutMs < 0)
        m_cond.wait(lock, [this] { return m_bSet; });
    else if (!m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_bSet; }))
        return false;
    m_bSet = false;
    return true;
}

} // namespace vistrel
