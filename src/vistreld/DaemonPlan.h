#pragma once

#include "app/Schedule.h"
#include "capture/CaptureDrivers.h"
#include "config/LiveSettings.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace vistrel {

// One line of what the headless publisher says it will do: kind "plan", or "warning" for what
// will not work as the settings intend.
struct PlanLine {
    std::string kind;
    std::string text;
    bool operator==(const PlanLine&) const = default;
};

// The --list-devices text: one line per driver with its index, name (and device node) and the
// sizes it offers, the cameras that cannot be opened, and which driver the settings choose (by
// chosenPath when it is set; chosen is then the index it names, -1 for none).
std::string FormatDriverList(const std::vector<CaptureDriverInfo>& drivers,
                             const std::vector<UnusableCaptureNode>& unusable,
                             const std::string& userName, int chosen,
                             const std::string& settingsPath, const std::string& chosenPath = {});

// The capture timer as the hub has armed it.
struct TimerState {
    std::uint32_t periodMs = 0;   // 0: not armed
    std::int64_t msUntilTick = 0; // to the next tick
};

// What the plan is made from: the live settings and the state of the capture device and timer.
struct PlanInput {
    LiveSettings live;
    std::vector<std::string> drivers;          // the driver list's descriptions, by index
    std::vector<UnusableCaptureNode> unusable; // cameras that exist but cannot be opened
    bool cameraConnected = false;
    // ImageFormat/CaptureDevicePath when set, and the index of the driver it names (-1: none).
    std::string chosenPath;
    int chosenByPath = -1;
    std::string driverInfo; // "<name>\n<w> x <h>, <bits> bit color" of the connected driver
    std::string userName;   // the user the program runs as (for the group advice)
    std::string currentDirectory;
    TimerState timer;
    bool schedule = true; // false for a single cycle (--once): no schedule lines
};

// The plan at start-up and after SIGHUP: the camera and why not another, the period, the time
// window, and what each cycle does (local copy, FTP target with the password hidden, archive).
std::vector<PlanLine> DaemonPlan(const PlanInput& in);

// The warning for a camera that exists but cannot be opened, naming the device and its group.
std::string UnusableNodeWarning(const UnusableCaptureNode& node, const std::string& userName);

// "every 5 minutes", "every second", "every 2 hours": the capture period of the settings.
std::string PeriodText(int interval, int measure);

// When the next automatic capture is due: the first tick of the timer that falls inside the time
// window (when there is one). -1 when there is none within the next year of ticks. nowMillis is
// how far into its second `now` is: the tick is that much later than the whole second says.
std::time_t NextCaptureTime(std::time_t now, const TimerState& timer, bool windowed,
                            const TimeWindow& window, int nowMillis = 0);

// The line logged after each cycle and at start: "next capture: <date and time>", or that none is
// scheduled and why (interval 0, no camera, automatic capture off, the window never reached).
PlanLine NextCaptureLine(const LiveSettings& live, bool cameraConnected, const TimerState& timer,
                         std::time_t now, int nowMillis = 0);

} // namespace vistrel
