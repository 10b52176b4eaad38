#include "ftp/TimedSocket.h"

#include "ftp/SocketCalls.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vistrel {

namespace {

// The text of an IPv4 address, empty for another family.
std::string addressText(const sockaddr_storage& addr)
{
    if (addr.ss_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN];
    const auto& in = reinterpret_cast<const sockaddr_in&>(addr);
    return ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) ? text : std::string();
}

SocketCalls g_systemCalls{::poll, ::send, ::recv};
SocketCalls g_calls = g_systemCalls;

// A name lookup for an IPv4 address (the first one the resolver gives).
bool resolveIPv4(const std::string& host, in_addr& out)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list)
        return false;
    out = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
    ::freeaddrinfo(list);
    return true;
}

bool setBlocking(int fd, bool blocking)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    return ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

} // namespace

SocketCalls& socketCalls()
{
    return g_calls;
}

const SocketCalls& systemSocketCalls()
{
    return g_systemCalls;
}

CTimedSocket::CTimedSocket(int handle) : m_hSocket(handle)
{
    m_buffer[0] = '\r';
}

CTimedSocket::~CTimedSocket()
{
    Close();
}

int CTimedSocket::Wait(short events, int seconds)
{
    return WaitUntil(events, Clock::now() + std::chrono::seconds(seconds < 0 ? 0 : seconds));
}

int CTimedSocket::WaitUntil(short events, Clock::time_point deadline)
{
    for (;;) {
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{m_hSocket, events, 0};
        const int r = g_calls.poll(&p, 1, static_cast<int>(std::clamp(left, 0LL, 86400000LL)));
        if (r > 0)
            return 1; // an error or hang-up also ends the wait; the next call reports it
        if (r == 0) {
            if (Clock::now() >= deadline)
                return 0;
            continue; // a very long time-out is waited for in slices of a day
        }
        if (errno != EINTR)
            return -1;
    }
}

bool CTimedSocket::Connect(const std::string& host, int port)
{
    m_nLastError = 0;
    if (m_hSocket == INVALID_SOCKET) {
        m_hSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_hSocket == INVALID_SOCKET) {
            m_nLastError = errno;
            return false;
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = ::inet_addr(host.c_str());
    if (addr.sin_addr.s_addr == INADDR_NONE && !resolveIPv4(host, addr.sin_addr)) {
        m_nLastError = errno = EINVAL;
        return false;
    }

    // A plain blocking connect to a black-holed address would hang for minutes: connect without
    // blocking and wait at most the time-out.
    if (!setBlocking(m_hSocket, false)) {
        m_nLastError = errno;
        return false;
    }
    int err = 0;
    if (::connect(m_hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        err = errno;
        if (err == EINPROGRESS) {
            const int w = Wait(POLLOUT, m_nTimeout);
            if (w == 0) {
                err = ETIMEDOUT;
            } else if (w < 0) {
                err = errno;
            } else {
                socklen_t len = sizeof err;
                if (::getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                    err = errno;
            }
        }
    }
    if (err == 0 && !setBlocking(m_hSocket, true))
        err = errno;
    m_nLastError = err;
    if (err != 0) {
        // A socket whose connect failed cannot be connected again: start afresh next time.
        Close();
        errno = err;
        return false;
    }
    return true;
}

bool CTimedSocket::CreateListener(int port)
{
    Close();
    m_hSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_hSocket == INVALID_SOCKET)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(m_hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        Close();
        return false;
    }
    const linger noLinger{0, 0};
    ::setsockopt(m_hSocket, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    const int on = 1;
    ::setsockopt(m_hSocket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    if (!Listen()) {
        Close();
        return false;
    }
    return true;
}

bool CTimedSocket::Listen()
{
    return m_hSocket != INVALID_SOCKET && ::listen(m_hSocket, 5) == 0;
}

int CTimedSocket::Accept(const std::string& onlyFrom)
{
    if (m_hSocket == INVALID_SOCKET)
        return INVALID_SOCKET;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(std::max(0, m_nTimeout));
    for (;;) {
        if (WaitUntil(POLLIN, deadline) != 1)
            return INVALID_SOCKET;
        sockaddr_storage peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(m_hSocket, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return INVALID_SOCKET;
        }
        if (onlyFrom.empty() || addressText(peer) == onlyFrom)
            return fd;
        // Someone else got to the port first: they get nothing, and the server may still come.
        ::close(fd);
    }
}

bool CTimedSocket::Attach(int handle)
{
    if (handle == INVALID_SOCKET)
        return false;
    Close();
    m_hSocket = handle;
    return true;
}

int CTimedSocket::Send(const void* data, int length)
{
    const int w = Wait(POLLOUT, m_nTimeout);
    if (w == 0)
        return -2;
    if (w < 0)
        return -1;
    // MSG_NOSIGNAL: a peer that went away is a failed send, not a SIGPIPE for the whole program.
    const ssize_t n =
        g_calls.send(m_hSocket, data, static_cast<size_t>(length < 0 ? 0 : length), MSG_NOSIGNAL);
    return n < 0 ? -1 : static_cast<int>(n);
}

int CTimedSocket::SendString(const char* text)
{
    return Send(text, static_cast<int>(std::strlen(text)));
}

long long CTimedSocket::SendAll(const void* data, std::size_t length)
{
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < length) {
        // Try first and wait only when the socket buffer is full: one poll per stall rather than
        // one per chunk.
        const ssize_t n =
            g_calls.send(m_hSocket, p + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return -1;
        const int w = Wait(POLLOUT, m_nTimeout);
        if (w == 0)
            return -2;
        if (w < 0)
            return -1;
    }
    return static_cast<long long>(done);
}

int CTimedSocket::Receive(void* buffer, int size)
{
    const int w = Wait(POLLIN, m_nReceiveWait);
    if (w != 1)
        return w;
    const ssize_t n = g_calls.recv(m_hSocket, buffer, static_cast<size_t>(size < 0 ? 0 : size), 0);
    return n <= 0 ? 0 : static_cast<int>(n);
}

int CTimedSocket::ReadLine(char* dest, int capacity, int& length, ReplyDeadline* deadline)
{
    length = 0;
    if (capacity <= 1)
        return 0;
    int stored = 0;
    for (;;) {
        while (m_nReadPos >= 0 && stored < capacity - 1) {
            if (m_nReadPos >= m_nBuffered) { // the end marker: everything received is handed out
                m_nReadPos = -1;
                break;
            }
            if (deadline && !deadline->started) {
                deadline->started = true;
                deadline->at = Clock::now() + std::chrono::seconds(std::max(0, m_nTimeout));
            }
            const char c = m_buffer[m_nReadPos++];
            if (c == '\0' || c == '\n')
                continue;
            if (c == '\r') {
                dest[stored++] = '\n';
                break;
            }
            dest[stored++] = c;
        }
        if ((stored > 0 && dest[stored - 1] == '\n') || stored == capacity - 1) {
            dest[stored] = '\0';
            length = stored;
            return 1;
        }
        int w;
        if (deadline && deadline->started) {
            // Checked before waiting: a server that floods lines never lets the wait expire.
            w = Clock::now() >= deadline->at ? 0 : WaitUntil(POLLIN, deadline->at);
        } else {
            w = Wait(POLLIN, m_nTimeout);
        }
        if (w != 1) {
            dest[stored] = '\0';
            return w;
        }
        const ssize_t n = g_calls.recv(m_hSocket, m_buffer, kLineBufferSize - 1, 0);
        if (n <= 0) {
            dest[stored] = '\0';
            length = stored;
            return 0;
        }
        m_nBuffered = static_cast<int>(n);
        m_buffer[m_nBuffered] = '\r';
        m_nReadPos = 0;
    }
}

bool CTimedSocket::GetLocalAddress(char* dest, std::size_t capacity, int& port)
{
    if (capacity == 0)
        return false;
    dest[0] = '\0';
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    while (::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return false;
        len = sizeof addr;
    }
    if (addr.sin_family != AF_INET)
        return false;
    port = ntohs(addr.sin_port);
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text))
        return false;
    const std::size_t n = std::strlen(text);
    if (n >= capacity)
        return false;
    std::memcpy(dest, text, n + 1);
    return true;
}

bool CTimedSocket::GetPeerAddress(std::string& address) const
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (m_hSocket == INVALID_SOCKET ||
        ::getpeername(m_hSocket, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return false;
    address = addressText(addr);
    return !address.empty();
}

void CTimedSocket::Reset()
{
    m_nReadPos = -1;
    m_nBuffered = 0;
    Close();
}

void CTimedSocket::Close()
{
    if (m_hSocket != INVALID_SOCKET) {
        ::close(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
}

} // namespace vistrel
