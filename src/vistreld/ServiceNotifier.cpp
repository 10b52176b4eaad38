#include "vistreld/ServiceNotifier.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vistrel {

namespace {

// The steps of one upload that may each wait the whole FTP time-out (connect, log-on, directory,
// archive turn, store, rename, dated copy, quit) with room for the data connection's own.
constexpr int kUploadSteps = 10;

bool fillAddress(const std::string& path, sockaddr_un& address, socklen_t& length)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() < 2 || path.size() >= sizeof address.sun_path ||
        (path[0] != '/' && path[0] != '@'))
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (path[0] == '@')
        address.sun_path[0] = '\0'; // an abstract socket: its name has no terminating null
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() +
                                    (path[0] == '/' ? 1 : 0));
    return true;
}

} // namespace

ServiceNotifier ServiceNotifier::FromEnvironment()
{
    const char* socket = ::secure_getenv("NOTIFY_SOCKET");
    const std::string path = socket ? socket : "";
    std::int64_t watchdog = 0;
    if (const char* usec = ::secure_getenv("WATCHDOG_USEC")) {
        const char* pid = ::secure_getenv("WATCHDOG_PID");
        // The watchdog is this process's unless another one is named.
        if (!pid || std::strtoll(pid, nullptr, 10) == ::getpid())
            watchdog = std::strtoll(usec, nullptr, 10);
    }
    for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"})
        ::unsetenv(name);
    if (path.empty())
        return {};
    return ServiceNotifier(path, watchdog > 0 ? watchdog : 0);
}

ServiceNotifier::ServiceNotifier(const std::string& socketPath, std::int64_t watchdogUsec)
    : m_path(socketPath), m_watchdogUsec(watchdogUsec)
{
    sockaddr_un address{};
    socklen_t length = 0;
    if (!fillAddress(m_path, address, length))
        return;
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

ServiceNotifier::~ServiceNotifier()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

ServiceNotifier::ServiceNotifier(ServiceNotifier&& other) noexcept
    : m_fd(other.m_fd), m_path(std::move(other.m_path)), m_watchdogUsec(other.m_watchdogUsec)
{
    other.m_fd = -1;
}

bool ServiceNotifier::Send(const std::string& lines) const
{
    if (m_fd < 0)
        return false;
    sockaddr_un address{};
    socklen_t length = 0;
    if (!fillAddress(m_path, address, length))
        return false;
    ssize_t sent = 0;
    do {
        sent = ::sendto(m_fd, lines.data(), lines.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), length);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(lines.size());
}

std::string ServiceNotifier::StatusValue(const std::string& text)
{
    std::string value;
    for (char c : text) {
        if (value.size() >= 512)
            break;
        value += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    }
    return value;
}

bool CycleAlive(std::time_t runningSince, std::time_t now, int leadTimeSeconds,
                int ftpTimeOutSeconds)
{
    const std::time_t limit =
        std::time_t(leadTimeSeconds) + std::time_t(kUploadSteps) * ftpTimeOutSeconds + 60;
    return now - runningSince <= limit;
}

} // namespace vistrel
