#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vistrel::test {

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& logPath,
                         const std::vector<std::string>& extraEnv)
{
    if (argv.empty() || m_pid > 0)
        return false;
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        return false;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        const int out = ::open(logPath.empty() ? "/dev/null" : logPath.c_str(),
                               O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        const int in = ::open("/dev/null", O_RDONLY);
        if (in >= 0)
            ::dup2(in, 0);
        for (const auto& e : extraEnv)
            ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        const int err = errno;
        [[maybe_unused]] auto n = ::write(errPipe[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(errPipe[1]);
    int err = 0;
    const auto n = ::read(errPipe[0], &err, sizeof err);
    ::close(errPipe[0]);
    if (n == static_cast<ssize_t>(sizeof err)) {
        ::waitpid(pid, nullptr, 0);
        return false;
    }
    m_pid = pid;
    return true;
}

bool ChildProcess::waitForPort(int port, int timeoutMs, bool ipv6) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid)
            return false;
        const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        sockaddr_in6 addr6{};
        addr6.sin6_family = AF_INET6;
        addr6.sin6_addr = in6addr_loopback;
        addr6.sin6_port = addr.sin_port;
        const bool ok = ipv6 ? ::connect(fd, reinterpret_cast<sockaddr*>(&addr6), sizeof addr6) == 0
                             : ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int ChildProcess::wait(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (true) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int ChildProcess::stop()
{
    if (m_pid <= 0)
        return -1;
    ::kill(-m_pid, SIGTERM);
    int rc = wait(3000);
    if (rc == -2) {
        ::kill(-m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        rc = -1;
    }
    return rc;
}

} // namespace vistrel::test
