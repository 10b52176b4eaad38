#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace vistrel {

// Tells the service manager how the daemon is doing, over the notification socket systemd names
// in $NOTIFY_SOCKET (a Type=notify unit): one datagram of "NAME=value" lines per message, as
// sd_notify sends them, so no library is needed. Without the variable every call does nothing.
class ServiceNotifier {
  public:
    // Takes NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID from the environment and removes them,
    // so that programs the daemon starts never speak for it.
    static ServiceNotifier FromEnvironment();
    // socketPath: a file path, or "@name" for an abstract socket; watchdogUsec 0: no watchdog.
    ServiceNotifier(const std::string& socketPath, std::int64_t watchdogUsec);
    ServiceNotifier() = default;
    ~ServiceNotifier();
    ServiceNotifier(ServiceNotifier&& other) noexcept;
    ServiceNotifier& operator=(ServiceNotifier&&) = delete;
    ServiceNotifier(const ServiceNotifier&) = delete;

    bool Active() const { return m_fd >= 0; }
    // Sends the lines ("READY=1\nSTATUS=…"). False when there is no socket or the send failed.
    bool Send(const std::string& lines) const;
    // The manager's watchdog time-out in milliseconds, 0 without one. A sign of life is due at
    // least every half of it.
    std::int64_t WatchdogMs() const { return m_watchdogUsec / 1000; }

    // A STATUS= value: one line, control characters replaced by blanks, at most 512 bytes.
    static std::string StatusValue(const std::string& text);

  private:
    int m_fd = -1;
    std::string m_path;
    std::int64_t m_watchdogUsec = 0;
};

// Whether a running cycle still counts as alive for the watchdog: a cycle that has run for longer
// than its time-outs allow (the camera's lead time, the FTP time-out for each of the few steps of
// an upload, and a minute to spare) is stuck, and the watchdog is left to restart the service.
bool CycleAlive(std::time_t runningSince, std::time_t now, int leadTimeSeconds,
                int ftpTimeOutSeconds);

} // namespace vistrel
