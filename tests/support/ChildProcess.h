#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace vistrel::test {

// A program started by a test (an FTP server, a helper) in its own process group; its output goes
// to a log file. The destructor ends the whole group (SIGTERM, then SIGKILL), so a failing test
// never leaves a server running.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (searched on PATH) with the given arguments; stdout and stderr go to logPath
    // (or /dev/null when empty). Returns false when the program could not be started.
    bool start(const std::vector<std::string>& argv, const std::string& logPath = {},
               const std::vector<std::string>& extraEnv = {});

    // Waits until a TCP connection to 127.0.0.1:port (::1 with ipv6) succeeds, at most timeoutMs.
    bool waitForPort(int port, int timeoutMs = 10000, bool ipv6 = false) const;

    // Ends the process group and reaps the child. Returns the exit status (-1 when killed).
    int stop();

    // Waits for the child to exit by itself (at most timeoutMs); returns its exit status, or -2 on
    // time-out.
    int wait(int timeoutMs);

    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

  private:
    pid_t m_pid = -1;
};

} // namespace vistrel::test
