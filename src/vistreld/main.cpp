// vistreld: the headless publisher. The same cycle, schedule and settings as the desktop
// program, with no display: for servers, small boards and systemd.
#include "app/CheckFtp.h"
#include "app/CheckUpload.h"
#include "app/Hub.h"
#include "app/SettingsBridge.h"
#include "capture/CaptureDrivers.h"
#include "config/KeyCatalogue.h"
#include "config/SettingsCheck.h"
#include "config/SettingsFile.h"
#include "dialup/CDialUpManager.h"
#include "platform/PrivateTempDir.h"
#include "platform/SignalSocket.h"
#include "vistrel/Version.h"
#include "vistreld/DaemonHost.h"
#include "vistreld/DaemonOptions.h"
#include "vistreld/DaemonPlan.h"
#include "vistreld/PasswordInput.h"
#include "vistreld/ServiceNotifier.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

using namespace vistrel;

namespace {

std::string userName()
{
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return pw->pw_name;
    return std::to_string(::geteuid());
}

std::string currentDirectory()
{
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    return ec ? std::string(".") : cwd.string();
}

// The text without the line ends an FTP reply brings along.
// The text on one line, as the log writes it: its cause first, its lines joined by " / ".
std::string oneLine(const std::string& text)
{
    std::string line = DaemonHost::FormatLine(0, "", DaemonHost::CauseFirst(text));
    line.erase(0, line.find(": ") + 2); // the time stamp and the kind
    line.pop_back();                    // the line feed
    return line;
}

void logSettingsProblems(DaemonHost& host, const std::string& settingsPath)
{
    for (const std::string& problem : SettingsWarnings(settingsPath))
        host.Log("warning", problem);
}

void logPlan(DaemonHost& host, Hub& hub, CaptureDriverList& drivers, bool schedule)
{
    PlanInput in;
    in.live = hub.Settings();
    in.drivers = drivers.descriptions();
    in.unusable = drivers.unusableNodes();
    in.cameraConnected = hub.CaptureConnected();
    in.chosenPath = in.live.m_strCaptureDevicePath;
    in.chosenByPath = drivers.find(in.chosenPath);
    in.driverInfo = hub.DriverInfo();
    in.userName = userName();
    in.currentDirectory = currentDirectory();
    in.timer = {hub.TimerPeriod(), hub.MsUntilNextTick()};
    in.schedule = schedule;
    for (const PlanLine& line : DaemonPlan(in))
        host.Log(line.kind, line.text);
}

PlanLine nextCaptureLine(Hub& hub)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return NextCaptureLine(hub.Settings(), hub.CaptureConnected(),
                           {hub.TimerPeriod(), hub.MsUntilNextTick()}, now.tv_sec,
                           static_cast<int>(now.tv_nsec / 1000000));
}

void logNextCapture(DaemonHost& host, Hub& hub)
{
    const PlanLine line = nextCaptureLine(hub);
    host.Log(line.kind, line.text);
}

// What the service manager shows for the daemon (systemctl status): the last cycle's result and
// when the next capture is due.
std::string serviceStatus(const std::string& lastResult, Hub& hub)
{
    return "STATUS=" + ServiceNotifier::StatusValue(
                           (lastResult.empty() ? "no capture yet" : "last capture: " + lastResult) +
                           "; " + nextCaptureLine(hub).text);
}

std::string monotonicUsec()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::to_string(std::int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
}

// Signs of life for the service manager's watchdog, sent from the event loop while the cycle is
// not stuck: a hung event loop or a cycle past its time-outs stops them, and the manager
// restarts the service.
void startWatchdog(QTimer& timer, const ServiceNotifier& notifier, DaemonHost& host, Hub& hub,
                   const std::time_t& cycleSince)
{
    if (!notifier.Active() || notifier.WatchdogMs() <= 0)
        return;
    timer.setInterval(static_cast<int>(
        std::clamp<std::int64_t>(notifier.WatchdogMs() / 2, 1, std::numeric_limits<int>::max())));
    QObject::connect(
        &timer, &QTimer::timeout, &hub,
        [&notifier, &host, &hub, &cycleSince, told = false]() mutable {
            const LiveSettings live = hub.Settings();
            const std::time_t now = std::time(nullptr);
            if (cycleSince != 0 &&
                !CycleAlive(cycleSince, now, live.m_nPreviewLeadTime, live.m_nFTPTimeOut)) {
                if (!std::exchange(told, true))
                    host.Log("error",
                             "watchdog: the cycle has run for " + std::to_string(now - cycleSince) +
                                 " s, longer than its time-outs allow; the service manager "
                                 "is left to restart the service");
                return;
            }
            told = false;
            notifier.Send("WATCHDOG=1");
        });
    timer.start();
}

int setPassword(DaemonHost& host, const DaemonOptions& options, const std::string& settingsPath)
{
    const std::string& which = options.setPassword;
    const PasswordTarget& target = *FindPasswordTarget(which);
    const std::string name = target.setting->name();
    std::string password, error;
    if (!options.clearPassword) {
        if (!ReadPassword(STDIN_FILENO, stderr,
                          std::string(target.what) + " (" + name + "): ", &password, &error)) {
            std::fprintf(
                stderr, "vistreld: %s%s\n", error.c_str(),
                password.empty() && error.find("empty") != std::string::npos
                    ? ("; to remove the stored one: vistreld --set-password " + which + " --clear")
                          .c_str()
                    : "");
            return 1;
        }
    }
    if (!PasswordFitsSettingsFile(password)) {
        std::fprintf(stderr, "vistreld: the password is too long to be stored\n");
        return 1;
    }
    if (!WriteSetting(*target.setting, password, &error)) {
        std::fprintf(stderr, "vistreld: the password could not be stored in %s: %s\n",
                     settingsPath.c_str(), error.c_str());
        return 1;
    }
    host.Log("settings", (options.clearPassword ? "cleared " : "stored ") + name);
    // The file holds passwords: one that others can read is made private.
    struct stat st {};
    if (::stat(settingsPath.c_str(), &st) == 0 && (st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        if (::chmod(settingsPath.c_str(), st.st_mode & 07700) == 0)
            host.Log("settings", "warning: " + settingsPath + " could be read by others (mode " +
                                     mode +
                                     "); it holds passwords, so it is now readable by its "
                                     "owner only");
        else
            host.Log("settings", "warning: " + settingsPath + " can be read by others (mode " +
                                     mode +
                                     ") and could not be made private: " + std::strerror(errno));
    }
    return 0;
}

// Lists the capture drivers with their sizes for --list-devices.
int listDevices(const std::string& settingsPath)
{
    CaptureDriverList drivers;
    UseNetworkCamerasFromSettings(drivers);
    const std::string path = ReadSettingString(keys::ImageFormat::CaptureDevicePath);
    const int chosen =
        path.empty() ? ReadSettingInt(keys::ImageFormat::CaptureDevice) : drivers.find(path);
    std::fputs(FormatDriverList(drivers.describe(), drivers.unusableNodes(), userName(), chosen,
                                settingsPath, path)
                   .c_str(),
               stdout);
    return 0;
}

// Tries the FTP upload's steps on the server for --check-ftp.
int checkFtp()
{
    AutoResetEvent idle(true);
    LiveSettings live;
    live.LoadAll(idle);
    std::string report;
    const bool ok = CheckFtp(live, report);
    std::fputs(report.c_str(), stdout); // the verdict is the exit status
    return ok ? 0 : 1;
}

// Tries the chosen upload target's steps for --check-upload: one verdict per step on standard
// output, the overall verdict in the exit status.
int checkUpload()
{
    AutoResetEvent idle(true);
    LiveSettings live;
    live.LoadAll(idle);
    std::string report;
    const bool ok = CheckUpload(live, report);
    std::fputs(report.c_str(), stdout);
    return ok ? 0 : 1;
}

// Finds the settings file and logs which one it is. Returns false with *exitCode set when the
// program cannot go on with it.
bool openSettings(DaemonHost& host, const DaemonOptions& options, std::string* settingsPath,
                  int* exitCode)
{
    std::string error;
    const std::string tail = SettingsTailForOption(options.config);
    if (tail.find('/') != std::string::npos &&
        !SettingsFolderExists(SettingsFileName(tail), &error)) {
        std::fprintf(stderr, "vistreld: %s\n", error.c_str());
        *exitCode = 2;
        return false;
    }
    *settingsPath = FixSettingsFile(tail, &error);
    if (!error.empty())
        host.Log("error", error);
    // A FIFO or a device there would hold every read of the settings for ever.
    if (!CheckSettingsFile(*settingsPath, &error)) {
        std::fprintf(stderr, "vistreld: %s\n", error.c_str());
        *exitCode = 1;
        return false;
    }
    struct stat st {};
    const bool firstStart = ::stat(settingsPath->c_str(), &st) != 0;
    const bool runsCycles = options.setPassword.empty() && !options.listDevices &&
                            !options.checkFtp && !options.checkUpload;
    const bool unchanged = options.HasOneOff() && options.config.empty();
    host.Log("settings",
             *settingsPath + (unchanged     ? (firstStart ? " does not exist; this one-off run "
                                                            "creates none"
                                                          : " (read only: this one-off run changes "
                                                            "nothing in it)")
                              : !firstStart ? ""
                              : runsCycles  ? " does not exist yet: a first start"
                                            : " does not exist yet"));
    return true;
}

// The result of a --once cycle alone, once, for scripts: the time of the capture, or why it
// failed. The journal takes each line as an entry of its own: each gets the priority.
void printOnceResult(const DaemonHost& host, int result, const QString& text)
{
    const std::string priority = !host.Journal() ? "" : result ? "<6>" : "<3>";
    std::string line = priority;
    for (char c : oneLine(text.toStdString()))
        line += c == '\n' ? "\n" + priority : std::string(1, c);
    line += "\n";
    std::fputs(line.c_str(), result ? stdout : stderr);
}

// What a signal asks of a running daemon. Returns true when the program is to end.
bool handleSignal(char signo, DaemonHost& host, Hub& hub, CaptureDriverList& drivers,
                  const DaemonOptions& options, const std::string& settingsPath)
{
    switch (signo) {
    case SIGHUP:
        host.Log("signal", "SIGHUP: re-reading the settings");
        logSettingsProblems(host, settingsPath);
        hub.ReloadSettings();
        logPlan(host, hub, drivers, !options.once);
        if (!options.once)
            logNextCapture(host, hub);
        return false;
    case SIGUSR1:
        if (hub.CycleRunning()) {
            host.Log("signal", "SIGUSR1: a cycle is running; this request is dropped");
        } else {
            host.Log("signal", "SIGUSR1: capturing now");
            if (!hub.OnCaptureCommand())
                host.Log("signal", "SIGUSR1: the cycle could not be started");
        }
        return false;
    default:
        host.Log("signal", signo == SIGINT ? "SIGINT: shutting down" : "SIGTERM: shutting down");
        return true;
    }
}

// Runs the schedule, or with --once one cycle, until it is told to stop.
int runCycles(int argc, char** argv, DaemonHost& host, const DaemonOptions& options,
              const std::string& settingsPath)
{
    QCoreApplication app(argc, argv);

    std::string signalError;
    const int signalFd = InstallSignalSocket(&signalError);
    ::signal(SIGPIPE, SIG_IGN);
    if (signalFd < 0) // the signals keep their default action: they end the program
        host.Log("warning", signalError);
    auto dialUp = std::make_shared<CDialUpManager>(host);
    CaptureDriverList drivers;
    Hub hub(host, host, dialUp, drivers, {});
    host.Attach(hub);
    host.SetOnce(options.once);

    const ServiceNotifier service = ServiceNotifier::FromEnvironment();
    std::string lastResult;
    std::time_t cycleSince = 0;
    QObject::connect(&hub, &Hub::cycleRunningChanged, &app,
                     [&](bool running) { cycleSince = running ? std::time(nullptr) : 0; });

    int exitCode = 0;
    // --once prints its result after the closing log lines, so that it is the last line.
    std::optional<std::pair<int, QString>> onceResult;
    QObject::connect(&hub, &Hub::cycleDone, &app, [&](int result, const QString& text) {
        lastResult = (result ? "" : "failed: ") + oneLine(text.toStdString());
        if (!options.once) {
            logNextCapture(host, hub);
            service.Send(serviceStatus(lastResult, hub));
            // A cycle's picture buffers were freed in the worker's heap; give those pages back,
            // so that a daemon waiting for its next cycle holds no more than it needs.
            ::malloc_trim(0);
            return;
        }
        // A failure says why, as the daemon's error line does ("connection refused: …").
        const std::string cause = result ? std::string() : hub.LastCause();
        onceResult.emplace(result, cause.empty() ? text
                                                 : text + QStringLiteral(" (%1)").arg(
                                                              QString::fromStdString(cause)));
        exitCode = result ? 0 : 1;
        app.quit();
    });
    if (!hub.Startup(!options.once))
        return 1;
    const std::string folder = hub.Settings().m_strWorkingFolder;
    host.Log("settings", "working folder " + (folder.empty() ? std::string("./") : folder));
    logPlan(host, hub, drivers, !options.once);
    if (!options.once)
        logNextCapture(host, hub);
    service.Send("READY=1\n" + serviceStatus(lastResult, hub));
    QTimer watchdog;
    startWatchdog(watchdog, service, host, hub, cycleSince);

    QSocketNotifier notifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        const char c = static_cast<char>(ReadSignal(signalFd));
        if (c == 0)
            return;
        if (c == SIGHUP)
            service.Send("RELOADING=1\nMONOTONIC_USEC=" + monotonicUsec());
        if (handleSignal(c, host, hub, drivers, options, settingsPath)) {
            if (options.once)
                exitCode = 1;
            app.quit();
        } else if (c == SIGHUP) {
            service.Send("READY=1\n" + serviceStatus(lastResult, hub));
        }
    });

    if (options.once && !hub.OnCaptureCommand()) {
        std::fprintf(stderr, "vistreld: the cycle could not be started\n");
        exitCode = 1;
    } else {
        app.exec();
    }

    service.Send("STOPPING=1");
    const bool ended = hub.Shutdown();
    host.Log("status", "stopped");
    if (onceResult)
        printOnceResult(host, onceResult->first, onceResult->second);
    if (!ended) {
        // The worker is stuck in a network call past its time: leave without running the
        // destructors it may still be using.
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    // One heap for the few threads there are: a heap of its own per thread (the worker, the
    // camera's) keeps pages a daemon waiting for its next cycle does not need.
    ::mallopt(M_ARENA_MAX, 1);
    std::vector<std::string> args(argv + 1, argv + argc);
    DaemonOptions options;
    std::string error;
    if (!ParseDaemonOptions(args, &options, &error)) {
        std::fprintf(stderr, "vistreld: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(DaemonUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("vistreld %s\n", kVersionString);
        return 0;
    }

    // One-off options count for this run alone; without --config the run changes no file.
    if (options.HasOneOff()) {
        if (!CheckOneOffFiles(options, &error)) {
            std::fprintf(stderr, "vistreld: %s\n", error.c_str());
            return 2;
        }
        std::vector<RunOnlySetting> settings = OneOffSettings(options);
        // Nor does it leave its working files in the current directory, unless the default
        // settings file names a folder for them.
        if (options.config.empty() && !std::getenv("STATE_DIRECTORY") &&
            ReadSettingString(keys::Install::Directory).empty()) {
            if (const std::string temp = PrivateTempDirectory(); !temp.empty())
                settings.push_back({std::string(keys::Install::Directory.section),
                                    std::string(keys::Install::Directory.key), temp + "/"});
        }
        SetRunOnlySettings(settings, options.config.empty());
    }

    DaemonHost host;
    host.SetSettingsUnchanged(options.HasOneOff() && options.config.empty());
    std::string settingsPath;
    int exitCode = 0;
    if (!openSettings(host, options, &settingsPath, &exitCode))
        return exitCode;
    if (!options.setPassword.empty())
        return setPassword(host, options, settingsPath);
    if (options.listDevices)
        return listDevices(settingsPath);
    logSettingsProblems(host, settingsPath);
    if (options.checkFtp)
        return checkFtp();
    if (options.checkUpload)
        return checkUpload();
    return runCycles(argc, argv, host, options, settingsPath);
}
