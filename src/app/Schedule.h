#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace vistrel {

// Tray icons the schedule and the end of a cycle choose between.
enum TrayIcon : int {
    kIconNormal = 128,         // automatic capture on
    kIconCapturing = 129,      // a cycle is running
    kIconFailed = 169,         // the last cycle failed
    kIconAutoCaptureOff = 181, // automatic capture off
};

// The capture timer's period: interval × unit × 1000 ms, unit 1 s, 60 s (measure 1) or 3600 s
// (measure 2); any other measure counts as seconds. Unsigned 32-bit: 999 hours is 3 596 400 000.
std::uint32_t TimerPeriodMs(int interval, int measure);

struct TimeWindow {
    int startHour = 0, startMinute = 0;
    int endHour = 0, endMinute = 0;
};

// Whether a timer tick at `now` may capture. Both edges are today's moments one second before
// the minute they name (08:00 → 07:59:59), so 08:00–18:00 admits 07:59:59 … 17:59:59. A window
// whose end lies before its start spans midnight (22:00–06:00 admits the night); a window whose
// start equals its end admits only the one second before that minute.
bool InTimeWindow(std::time_t now, const TimeWindow& w);

// Texts and icons the window shows for the automatic-capture state.
// Status field: the last-capture text, plus "\nAuto-Capture Disabled" when automatic capture is
// off.
std::string StatusText(const std::string& lastCapture, bool autoCaptureDisabled);
// Tray tip: "Last Capture: " + the status text above.
std::string TrayTipText(const std::string& lastCapture, bool autoCaptureDisabled);
// Tray icon at the end of a cycle (result 0 = failed).
int TrayIconAfterCycle(int result, bool autoCaptureDisabled);
// Tray icon after a toggle of automatic capture while no cycle runs.
int TrayIconAfterToggle(bool autoCaptureDisabled);

// A periodic timer whose period may exceed what one wait can hold (a Qt timer takes a signed
// int of milliseconds, about 24.8 days, while the longest period is 41.6 days). It keeps its own
// deadline and is woken in slices of at most kMaxSliceMs; only the wake-up that reaches the
// deadline counts as a tick, and the next deadline follows the previous one by one period.
class LongPeriodTimer {
  public:
    static constexpr std::int64_t kMaxSliceMs = 3'600'000; // one hour

    // Starts (or restarts) the timer at monotonic time nowMs; a period of 0 stops it.
    void Arm(std::uint32_t periodMs, std::int64_t nowMs);
    void Stop() { m_periodMs = 0; }
    std::uint32_t Period() const { return m_periodMs; }

    // Milliseconds from nowMs to the next tick (0 when it is overdue), or -1 when stopped.
    std::int64_t MsUntilDeadline(std::int64_t nowMs) const;

    // Milliseconds to sleep before the next wake-up (≤ kMaxSliceMs), or -1 when stopped.
    std::int64_t NextSliceMs(std::int64_t nowMs) const;

    // Called on every wake-up; true when the deadline has been reached (a tick). After a tick
    // the deadline moves on by one period; a wake-up that comes very late skips the ticks it
    // missed instead of firing them all at once.
    bool OnWake(std::int64_t nowMs);

  private:
    std::uint32_t m_periodMs = 0;
    std::int64_t m_deadlineMs = 0;
};

} // namespace vistrel
