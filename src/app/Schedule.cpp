#include "app/Schedule.h"

#include <algorithm>

namespace vistrel {

std::uint32_t TimerPeriodMs(int interval, int measure)
{
    std::uint32_t unit = 1;
    if (measure == 1)
        unit = 60;
    else if (measure == 2)
        unit = 3600;
    return static_cast<std::uint32_t>(interval) * unit * 1000u;
}

namespace {

std::time_t edgeToday(std::time_t now, int hour, int minute)
{
    std::tm t{};
    localtime_r(&now, &t);
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = -1;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

} // namespace

bool InTimeWindow(std::time_t now, const TimeWindow& w)
{
    const std::time_t start = edgeToday(now, w.startHour, w.startMinute);
    const std::time_t end = edgeToday(now, w.endHour, w.endMinute);
    if (end < start) // over midnight: the evening part or the morning part
        return now >= start || now <= end;
    return now >= start && now <= end;
}

std::string StatusText(const std::string& lastCapture, bool autoCaptureDisabled)
{
    return autoCaptureDisabled ? lastCapture + "\nAuto-Capture Disabled" : lastCapture;
}

std::string TrayTipText(const std::string& lastCapture, bool autoCaptureDisabled)
{
    return "Last Capture: " + StatusText(lastCapture, autoCaptureDisabled);
}

int TrayIconAfterCycle(int result, bool autoCaptureDisabled)
{
    if (result == 0)
        return kIconFailed;
    return autoCaptureDisabled ? kIconAutoCaptureOff : kIconNormal;
}

int TrayIconAfterToggle(bool autoCaptureDisabled)
{
    return autoCaptureDisabled ? kIconAutoCaptureOff : kIconNormal;
}

void LongPeriodTimer::Arm(std::uint32_t periodMs, std::int64_t nowMs)
{
    m_periodMs = periodMs;
    m_deadlineMs = nowMs + periodMs;
}

std::int64_t LongPeriodTimer::NextSliceMs(std::int64_t nowMs) const
{
    if (m_periodMs == 0)
        return -1;
    return std::clamp<std::int64_t>(m_deadlineMs - nowMs, 0, kMaxSliceMs);
}

std::int64_t LongPeriodTimer::MsUntilDeadline(std::int64_t nowMs) const
{
    if (m_periodMs == 0)
        return -1;
    return std::max<std::int64_t>(m_deadlineMs - nowMs, 0);
}

bool LongPeriodTimer::OnWake(std::int64_t nowMs)
{
    if (m_periodMs == 0 || nowMs < m_deadlineMs)
        return false;
    m_deadlineMs += m_periodMs;
    if (m_deadlineMs <= nowMs) {
        const std::int64_t missed = (nowMs - m_deadlineMs) / m_periodMs + 1;
        m_deadlineMs += missed * m_periodMs;
    }
    return true;
}

} // namespace vistrel
