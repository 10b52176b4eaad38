#include "platform/SignalSocket.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vistrel {

namespace {

int g_signalSocket[2] = {-1, -1};

void OnSignal(int signo)
{
    const int saved = errno; // the interrupted code may be about to read it
    const char c = static_cast<char>(signo);
    [[maybe_unused]] auto n = ::write(g_signalSocket[1], &c, 1);
    errno = saved;
}

} // namespace

int InstallSignalSocket(std::string* error)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSocket) != 0) {
        if (error)
            *error = std::string("cannot watch for signals: ") + std::strerror(errno);
        g_signalSocket[0] = g_signalSocket[1] = -1;
        return -1;
    }
    // A burst of signals that fills the socket loses bytes, never blocks the handler.
    ::fcntl(g_signalSocket[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        ::sigaction(s, &sa, nullptr);
    return g_signalSocket[0];
}

int ReadSignal(int fd)
{
    char c = 0;
    ssize_t n;
    do
        n = ::read(fd, &c, 1);
    while (n < 0 && errno == EINTR);
    return n == 1 ? static_cast<unsigned char>(c) : 0;
}

} // namespace vistrel
