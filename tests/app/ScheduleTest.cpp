#include "app/Schedule.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace vistrel;

namespace {

// A zone with daylight saving, so that mktime's normalisation is exercised.
const char* const kZone = "Europe/Berlin";

// Today (a fixed date) at h:m:s local time; the test sets TZ to kZone around its calls.
std::time_t at(int h, int m, int s)
{
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 6;
    t.tm_mday = 15;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

} // namespace

TEST(Schedule, TimerPeriods)
{
    EXPECT_EQ(TimerPeriodMs(30, 1), 1'800'000u);
    EXPECT_EQ(TimerPeriodMs(45, 0), 45'000u);
    EXPECT_EQ(TimerPeriodMs(2, 2), 7'200'000u);
    EXPECT_EQ(TimerPeriodMs(5, 7), 5'000u); // unknown unit counts as seconds
    EXPECT_EQ(TimerPeriodMs(999, 2), 3'596'400'000u);
    EXPECT_EQ(TimerPeriodMs(0, 1), 0u);
}

TEST(Schedule, DayWindowEdgesAreOneSecondEarly)
{
    const test::ScopedEnv tz("TZ", kZone);
    const TimeWindow day{8, 0, 18, 0};
    EXPECT_FALSE(InTimeWindow(at(7, 59, 58), day));
    EXPECT_TRUE(InTimeWindow(at(7, 59, 59), day));
    EXPECT_TRUE(InTimeWindow(at(12, 0, 0), day));
    EXPECT_TRUE(InTimeWindow(at(17, 59, 58), day));
    EXPECT_TRUE(InTimeWindow(at(17, 59, 59), day));
    EXPECT_FALSE(InTimeWindow(at(18, 0, 0), day));

    const TimeWindow instant{9, 30, 9, 30};
    EXPECT_TRUE(InTimeWindow(at(9, 29, 59), instant));
    EXPECT_FALSE(InTimeWindow(at(9, 30, 0), instant));
    EXPECT_FALSE(InTimeWindow(at(9, 29, 58), instant));
}

TEST(Schedule, NightWindowSpansMidnight)
{
    const test::ScopedEnv tz("TZ", kZone);
    const TimeWindow night{22, 0, 6, 0};
    EXPECT_TRUE(InTimeWindow(at(21, 59, 59), night));
    EXPECT_TRUE(InTimeWindow(at(23, 30, 0), night));
    EXPECT_TRUE(InTimeWindow(at(0, 0, 0), night));
    EXPECT_TRUE(InTimeWindow(at(5, 59, 59), night));
    EXPECT_FALSE(InTimeWindow(at(6, 0, 0), night));
    EXPECT_FALSE(InTimeWindow(at(12, 0, 0), night));
    EXPECT_FALSE(InTimeWindow(at(21, 59, 58), night));
}

TEST(Schedule, AutoCaptureTextsAndIcons)
{
    EXPECT_EQ(StatusText("12/08/26 10:00:00", false), "12/08/26 10:00:00");
    EXPECT_EQ(StatusText("12/08/26 10:00:00", true), "12/08/26 10:00:00\nAuto-Capture Disabled");
    EXPECT_EQ(TrayTipText("x", false), "Last Capture: x");
    EXPECT_EQ(TrayTipText("x", true), "Last Capture: x\nAuto-Capture Disabled");
    EXPECT_EQ(TrayIconAfterCycle(0, false), 169);
    EXPECT_EQ(TrayIconAfterCycle(0, true), 169);
    EXPECT_EQ(TrayIconAfterCycle(1, true), 181);
    EXPECT_EQ(TrayIconAfterCycle(1, false), 128);
    EXPECT_EQ(TrayIconAfterToggle(true), 181);
    EXPECT_EQ(TrayIconAfterToggle(false), 128);
}

TEST(LongPeriodTimer, NineHundredNinetyNineHoursTickExactlyOnceAtTheEnd)
{
    LongPeriodTimer t;
    const std::uint32_t period = TimerPeriodMs(999, 2);
    std::int64_t now = 1'000;
    t.Arm(period, now);
    int ticks = 0;
    std::int64_t firstTick = -1;
    // Sleep slice by slice, as the event loop would, for a little over two periods.
    while (now < 1'000 + 2 * static_cast<std::int64_t>(period) + 10) {
        const std::int64_t slice = t.NextSliceMs(now);
        ASSERT_GE(slice, 0);
        ASSERT_LE(slice, LongPeriodTimer::kMaxSliceMs);
        ASSERT_LE(slice, std::int64_t{INT32_MAX}); // what a Qt timer can hold
        now += slice;
        if (t.OnWake(now)) {
            ++ticks;
            if (firstTick < 0)
                firstTick = now;
        }
    }
    EXPECT_EQ(firstTick, 1'000 + static_cast<std::int64_t>(period));
    EXPECT_EQ(ticks, 2);
}

TEST(LongPeriodTimer, LateWakeUpTicksOnceAndStopStops)
{
    LongPeriodTimer t;
    t.Arm(1000, 0);
    EXPECT_FALSE(t.OnWake(999));
    EXPECT_TRUE(t.OnWake(5500)); // five periods late: one tick, not five
    EXPECT_FALSE(t.OnWake(5600));
    EXPECT_EQ(t.NextSliceMs(5600), 400);
    t.Stop();
    EXPECT_EQ(t.NextSliceMs(5600), -1);
    EXPECT_FALSE(t.OnWake(100000));
}
