#include "vistreld/DaemonPlan.h"

#include "capture/CameraControls.h"
#include "config/KeyCatalogue.h"
#include "upload/Archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vistrel {

namespace {

namespace u = keys::UploadOptions;

const char* const kProxyTypes[] = {"SITE server",   "OPEN server", "USER after logon",
                                   "USER no logon", "type 4",      "type 5",
                                   "type 6"};

std::string hhmm(int hour, int minute)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", hour, minute);
    return text;
}

// The edge of the window at hour:minute on the day of `day`, one second before that minute.
std::time_t edgeOn(std::time_t day, int hour, int minute, int daysLater)
{
    std::tm t{};
    localtime_r(&day, &t);
    t.tm_mday += daysLater;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = -1;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::string dateTime(std::time_t when)
{
    std::tm t{};
    localtime_r(&when, &t);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
    return text;
}

// "Section/Key=value", as the settings file would hold it.
std::string key(const SettingKey& k, long value)
{
    return k.name() + "=" + std::to_string(value);
}

// "ImageFormat/CaptureDevicePath=<name>".
std::string choiceByPath(const std::string& name)
{
    return keys::ImageFormat::CaptureDevicePath.name() + "=" + name;
}

std::string hidden(const std::string& password)
{
    return password.empty() ? "no password" : "password ********";
}

std::string cameraSize(const std::string& driverInfo)
{
    const auto nl = driverInfo.find('\n');
    if (nl == std::string::npos)
        return {};
    std::string size = driverInfo.substr(nl + 1);
    return size.substr(0, size.find(','));
}

// Whether the upload is encrypted and the server's certificate checked.
PlanLine securityLine(const LiveSettings& l)
{
    if (!l.m_strFTPSecurityRefusal.empty())
        return {"warning", "FTP security: " + l.m_strFTPSecurityRefusal};
    if (l.m_nFTPSecurity == 0)
        return {"plan", std::string("FTP security: plain FTP: ") +
                            (l.m_strFTPPassword.empty() ? "nothing is encrypted"
                                                        : "password sent in clear")};
    std::string text = l.m_nFTPSecurity == 2 ? "FTPS implicit" : "FTPS explicit";
    if (!l.m_strFTPCertificateFingerprint.empty())
        text += ", certificate pinned";
    else if (l.m_bFTPVerifyCertificate)
        text += ", certificate checked";
    else
        text += ", certificate not checked (" + key(u::FTPVerifyCertificate, 0) + ")";
    return {"plan", "FTP security: " + text};
}

void cameraLines(const PlanInput& in, std::vector<PlanLine>& out)
{
    const bool byPath = !in.chosenPath.empty();
    const int chosen = byPath ? in.chosenByPath : in.live.m_nCaptureDevice;
    const std::string setting =
        byPath ? choiceByPath(in.chosenPath) : key(keys::ImageFormat::CaptureDevice, chosen);
    const int count = static_cast<int>(in.drivers.size());
    const bool testPatternOnly = count <= 1;

    std::string others;
    for (int i = 0; i < count; ++i)
        if (i != chosen)
            others += (others.empty() ? "" : ", ") + std::to_string(i) + " " + in.drivers[i];

    if (byPath && chosen < 0) {
        out.push_back({"warning", "camera: " + in.chosenPath + " (" + setting +
                                      ") is not there: every cycle fails at the capture and "
                                      "publishes nothing; the drivers are " +
                                      others + " (see vistreld --list-devices)"});
    } else if (chosen < 0) {
        out.push_back({"warning", "camera: none chosen (" + setting +
                                      "): every cycle fails at the capture; the drivers are " +
                                      others + " (see vistreld --list-devices)"});
    } else if (chosen >= count) {
        out.push_back({"warning", "camera: " + setting + " names no driver; the drivers are " +
                                      others + " (see vistreld --list-devices)"});
    } else if (!in.cameraConnected) {
        out.push_back({"warning", "camera: " + in.drivers[chosen] + " (" + setting +
                                      ") could not be connected: no capture is scheduled"});
    } else {
        std::string text = "camera: " + in.drivers[chosen] + " (" + setting + ")";
        const std::string size = cameraSize(in.driverInfo);
        if (!size.empty())
            text += ", " + size;
        if (testPatternOnly && in.unusable.empty())
            text += "; no camera was found (no /dev/video* device that can capture)";
        else if (!others.empty())
            text += "; other drivers: " + others;
        out.push_back({"plan", text});
    }
    for (const UnusableCaptureNode& node : in.unusable)
        out.push_back({"warning", UnusableNodeWarning(node, in.userName)});
}

void scheduleLines(const PlanInput& in, std::vector<PlanLine>& out)
{
    const LiveSettings& l = in.live;
    std::string text;
    if (l.m_nUploadInterval == 0) {
        text = "schedule: no timer (" + key(u::UploadInterval, 0) + "): captures only on SIGUSR1";
    } else if (l.m_nUploadInterval < 0) {
        out.push_back({"warning", "schedule: " + key(u::UploadInterval, l.m_nUploadInterval) +
                                      " is not a period: no timer, captures only on SIGUSR1"});
    } else {
        text = "schedule: a capture " + PeriodText(l.m_nUploadInterval, l.m_nUploadIntervalMeasure);
        if (in.timer.periodMs == 0)
            text += in.cameraConnected ? ", but the timer could not be set"
                                       : ", but the timer is not armed without a camera";
        else if (!in.cameraConnected)
            text += ", but without a camera timed cycles fail at the capture";
        else if (l.m_bDisableUpload)
            text += ", but automatic capture is off (" + key(u::DisableUpload, 1) +
                    "): captures only on SIGUSR1";
    }
    if (!text.empty()) {
        if (l.m_bUploadOnStart)
            text += in.cameraConnected
                        ? "; one at start (" + key(keys::Options::UploadOnStart, 1) + ")"
                        : std::string("; none at start without a camera");
        out.push_back({"plan", text});
    }

    if (!l.m_bUploadTimeRange) {
        out.push_back({"plan", "time window: none (" + key(u::UploadTimeRange, 0) + "): all day"});
        return;
    }
    const int sh = l.m_nUploadTimeRangeStartHour, sm = l.m_nUploadTimeRangeStartMinute;
    const int eh = l.m_nUploadTimeRangeEndHour, em = l.m_nUploadTimeRangeEndMinute;
    // Each edge is the second before the minute it names.
    auto before = [](int h, int m) {
        const int total = ((h * 60 + m) + 24 * 60 - 1) % (24 * 60);
        return hhmm(total / 60, total % 60) + ":59";
    };
    std::string window = "time window: " + hhmm(sh, sm) + "-" + hhmm(eh, em) + ": timed captures ";
    if (sh * 60 + sm == eh * 60 + em)
        window += "only in the one second " + before(sh, sm) + " of each day";
    else
        window += "from " + before(sh, sm) + " to " + before(eh, em) +
                  (eh * 60 + em < sh * 60 + sm ? ", over midnight" : "");
    out.push_back({"plan", window + "; SIGUSR1 captures at any time"});
}

void cycleLines(const PlanInput& in, std::vector<PlanLine>& out)
{
    const LiveSettings& l = in.live;
    const std::string folder =
        l.m_strWorkingFolder.empty()
            ? in.currentDirectory + (in.currentDirectory.ends_with('/') ? "" : "/")
            : l.m_strWorkingFolder;
    const bool archive = l.m_nArchiveInterval > 0 && l.m_nNumberOfArchives > 0;
    const std::string archiveText = std::to_string(l.m_nNumberOfArchives) +
                                    " earlier pictures, one kept every " +
                                    std::to_string(l.m_nArchiveInterval) +
                                    (l.m_nArchiveInterval == 1 ? " capture" : " captures") +
                                    ", the most recent " + (l.m_nArchiveOrder ? "last" : "first");

    out.push_back({"plan", "each cycle: the picture " + folder + "~vistrel.jpg"});
    if (l.m_bSaveAsFile) {
        std::string path = l.m_strSaveAsFilename;
        if (!path.starts_with('/'))
            path = in.currentDirectory + (in.currentDirectory.ends_with('/') ? "" : "/") + path;
        out.push_back({"plan", "local copy: " + path +
                                   (archive ? " with an archive of " + archiveText : "")});
        if (!l.m_strSaveAsPattern.empty()) {
            const std::string limits =
                l.m_nKeepDays > 0 && l.m_nKeepFiles > 0
                    ? "kept " + std::to_string(l.m_nKeepDays) + " days, at most " +
                          std::to_string(l.m_nKeepFiles)
                : l.m_nKeepDays > 0  ? "kept " + std::to_string(l.m_nKeepDays) + " days"
                : l.m_nKeepFiles > 0 ? "the newest " + std::to_string(l.m_nKeepFiles) + " kept"
                                     : "kept for ever (" + u::KeepDays.name() + ", " +
                                           std::string(u::KeepFiles.key) + ")";
            out.push_back({"plan", "dated local copies: " + l.m_strSaveAsPattern + ", " + limits});
        }
    } else {
        out.push_back({"plan", "local copy: off (" + key(u::SaveAsFile, 0) + ")"});
    }

    if (!l.m_bFTPUpload) {
        out.push_back({"plan", "FTP upload: off (" + key(u::FTPUpload, 0) + ")"});
        return;
    }
    if (l.m_strFTPServer.empty()) {
        out.push_back({"warning", "FTP upload is on but " + u::FTPServer.name() +
                                      " is empty: every cycle fails at connecting"});
        return;
    }
    std::string target = "FTP upload: " + l.m_strFTPServer + " port " +
                         std::to_string(l.m_nFTPPort) + " as " +
                         (l.m_strFTPUsername.empty() ? "(no user name)" : l.m_strFTPUsername) +
                         " with " + hidden(l.m_strFTPPassword) + ", " +
                         (l.m_strFTPDirectory.empty() ? std::string("the log-in directory")
                                                      : "directory " + l.m_strFTPDirectory) +
                         ", file " + l.m_strFTPFilename;
    target += l.m_bNoTempFile
                  ? " (stored directly)"
                  : " (stored as " + RemoteTempName(l.m_strFTPFilename) + ", then renamed)";
    target += l.m_bPassiveMode ? ", passive" : ", active";
    out.push_back({"plan", target});
    out.push_back(securityLine(l));
    if (l.m_bUseFireWall) {
        const int type = l.m_nFireWallType;
        const std::string name =
            type >= 0 && type < 7 ? kProxyTypes[type] : "type " + std::to_string(type);
        out.push_back({type >= 0 && type < 7 ? "plan" : "warning",
                       "FTP proxy: " + l.m_strFireWallServer + " port " +
                           std::to_string(l.m_nFireWallPort) + " (" + name + ") as " +
                           l.m_strFireWallUsername + " with " + hidden(l.m_strFireWallPassword) +
                           (type >= 0 && type < 7 ? "" : ": not a proxy type, log-on fails")});
    }
    if (!l.m_strRemotePattern.empty())
        out.push_back({"plan", "dated server copies: " + l.m_strRemotePattern});
    out.push_back({"plan", archive ? "server archive: " + archiveText
                                   : "server archive: none (" + u::ArchiveInterval.name() +
                                         " and " + std::string(u::NumberOfArchives.key) + ")"});
    if (!l.m_bUseLAN)
        out.push_back(
            {"plan", "connection: dial-up entry \"" + l.m_strDUN + "\"" +
                         (l.m_bOnlyWhileOnline ? ", timed cycles upload only while on line" : "")});
}

} // namespace

std::string PeriodText(int interval, int measure)
{
    const char* unit = measure == 1 ? "minute" : measure == 2 ? "hour" : "second";
    if (interval == 1)
        return std::string("every ") + unit;
    return "every " + std::to_string(interval) + " " + unit + "s";
}

std::string UnusableNodeWarning(const UnusableCaptureNode& node, const std::string& userName)
{
    std::string text =
        "camera " + node.path + " exists but cannot be opened (" + std::strerror(node.error) + ")";
    const bool permission = node.error == EACCES || node.error == EPERM;
    if (permission && !node.group.empty() && !node.inGroup) {
        text += ": it belongs to the group " + node.group + ", and user " + userName +
                " is not in it. Add the user (sudo usermod -aG " + node.group + " " + userName +
                ") and log in again, or give the service SupplementaryGroups=" + node.group;
    } else if (permission && !node.group.empty()) {
        text += ", although user " + userName + " is in its group " + node.group;
    }
    return text + "; it is left out of the driver list until then";
}

std::vector<PlanLine> DaemonPlan(const PlanInput& in)
{
    std::vector<PlanLine> out;
    cameraLines(in, out);
    if (in.schedule)
        scheduleLines(in, out);
    cycleLines(in, out);
    return out;
}

std::string FormatDriverList(const std::vector<CaptureDriverInfo>& drivers,
                             const std::vector<UnusableCaptureNode>& unusable,
                             const std::string& userName, int chosen,
                             const std::string& settingsPath, const std::string& chosenPath)
{
    std::vector<std::string> names;
    std::size_t width = std::string("driver").size();
    for (const CaptureDriverInfo& d : drivers) {
        // Which one it is: a camera's device node, a network camera's address (its password
        // hidden); nothing more for the built-in test pattern.
        const std::string& which = !d.path.empty()           ? d.path
                                   : d.version != "built in" ? d.version
                                                             : d.path;
        names.push_back(which.empty() || d.description.find(which) != std::string::npos
                            ? d.description
                            : d.description + " (" + which + ")");
        width = std::max(width, names.back().size());
    }
    auto row = [&](const std::string& index, const std::string& name, const std::string& sizes) {
        std::string line = index;
        line.resize(7, ' ');
        line += name;
        line.resize(7 + width + 2, ' ');
        return line + sizes + "\n";
    };
    std::string out = row("index", "driver", "sizes");
    for (std::size_t i = 0; i < drivers.size(); ++i) {
        std::string sizes;
        for (const FrameSize& size : drivers[i].sizes)
            sizes += (sizes.empty() ? "" : " ") + std::to_string(size.width) + "x" +
                     std::to_string(size.height);
        if (!drivers[i].error.empty())
            sizes = "(cannot say: " + drivers[i].error + ")";
        out += row(std::to_string(drivers[i].index), names[i], sizes);
        for (const CaptureControl& c : drivers[i].controls)
            if (c.type != CaptureControl::Type::Button)
                out += "       " + DescribeControl(c) + "\n";
    }
    for (const UnusableCaptureNode& node : unusable)
        out += "warning: " + UnusableNodeWarning(node, userName) + "\n";
    const std::string setting = chosenPath.empty() ? key(keys::ImageFormat::CaptureDevice, chosen)
                                                   : choiceByPath(chosenPath);
    if (chosen >= 0 && chosen < static_cast<int>(drivers.size()))
        out += setting + " in " + settingsPath + " chooses " + names[chosen] + "\n";
    else
        out += setting + " in " + settingsPath + " chooses no driver\n";
    return out;
}

std::time_t NextCaptureTime(std::time_t now, const TimerState& timer, bool windowed,
                            const TimeWindow& window, int nowMillis)
{
    if (timer.periodMs == 0)
        return -1;
    // In milliseconds since the epoch; ticks are msUntilTick from now, then one period apart.
    // The milliseconds of now count: without them a tick at 07:00:00.300 asked about at
    // 06:55:00.350 would be foretold for 06:59:59.
    const std::int64_t period = timer.periodMs;
    std::int64_t tick = std::int64_t(now) * 1000 + std::clamp(nowMillis, 0, 999) +
                        std::max<std::int64_t>(timer.msUntilTick, 0);
    for (int i = 0; i < 1000; ++i) {
        const std::time_t at = static_cast<std::time_t>(tick / 1000);
        if (!windowed || InTimeWindow(at, window))
            return at;
        // Jump to the first tick at or after the window's next opening.
        std::time_t opens = edgeOn(at, window.startHour, window.startMinute, 0);
        if (opens <= at)
            opens = edgeOn(at, window.startHour, window.startMinute, 1);
        const std::int64_t gap = std::int64_t(opens) * 1000 - tick;
        tick += std::max<std::int64_t>(1, (gap + period - 1) / period) * period;
    }
    return -1;
}

PlanLine NextCaptureLine(const LiveSettings& live, bool cameraConnected, const TimerState& timer,
                         std::time_t now, int nowMillis)
{
    if (live.m_nUploadInterval == 0)
        return {"plan", "next capture: none scheduled (" + key(u::UploadInterval, 0) +
                            "); SIGUSR1 captures now"};
    if (timer.periodMs == 0)
        return {"plan",
                std::string("next capture: none scheduled (") +
                    (cameraConnected ? "the timer could not be set" : "no camera is connected") +
                    ")"};
    if (live.m_bDisableUpload)
        return {"plan", "next capture: none scheduled (automatic capture is off: " +
                            key(u::DisableUpload, 1) + "); SIGUSR1 captures now"};
    const TimeWindow w{live.m_nUploadTimeRangeStartHour, live.m_nUploadTimeRangeStartMinute,
                       live.m_nUploadTimeRangeEndHour, live.m_nUploadTimeRangeEndMinute};
    const std::time_t next = NextCaptureTime(now, timer, live.m_bUploadTimeRange, w, nowMillis);
    if (next < 0)
        return {"plan", "next capture: none scheduled (no tick of the timer falls inside the time "
                        "window " +
                            hhmm(w.startHour, w.startMinute) + "-" + hhmm(w.endHour, w.endMinute) +
                            ")"};
    return {"plan", "next capture: " + dateTime(next) +
                        (cameraConnected ? "" : " (it fails: no camera is connected)")};
}

} // namespace vistrel
