#pragma once

#include <condition_variable>
#include <mutex>

namespace vistrel {

// An unnamed auto-reset event: Set leaves one token that exactly one Wait consumes. A Wait with a
// 0 ms time-out that finds the event set consumes the token too.
class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool initiallySet = false) : m_bSet(initiallySet) {}
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    void Reset();

    // Waits at most timeoutMs milliseconds (a negative value waits without limit). Returns true
    // when the event was set (and consumes it), false on time-out.
    bool Wait(long timeoutMs);

  private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_bSet;
};

} // namespace vistrel
