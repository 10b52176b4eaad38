#include "ftp/TimedSocket.h"

#include "ftp/SocketCalls.h"
#include "ftp/TlsConnection.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vistrel {

namespace {

// The text of an IPv4 or IPv6 address, empty for another family.
std::string addressText(const sockaddr_storage& addr)
{
    char text[INET6_ADDRSTRLEN];
    if (addr.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(addr);
        return ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) ? text : std::string();
    }
    if (addr.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(addr);
        return ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text) ? text : std::string();
    }
    return {};
}

SocketCalls g_systemCalls{::poll, ::send, ::recv};
SocketCalls g_calls = g_systemCalls;

struct Candidate {
    sockaddr_storage addr{};
    socklen_t length = 0;
};

// The addresses to try for host: a literal address as it is (no lookup), else every IPv4 and
// IPv6 address the resolver gives, in its order. False when there is none.
bool addressesOf(const std::string& host, int port, std::vector<Candidate>& out, int& resolveError)
{
    const auto portBytes = htons(static_cast<uint16_t>(port));
    Candidate c;
    auto& in4 = reinterpret_cast<sockaddr_in&>(c.addr);
    auto& in6 = reinterpret_cast<sockaddr_in6&>(c.addr);
    const in_addr_t dotted = ::inet_addr(host.c_str());
    if (dotted != INADDR_NONE) {
        in4.sin_family = AF_INET;
        in4.sin_port = portBytes;
        in4.sin_addr.s_addr = dotted;
        c.length = sizeof in4;
        out.push_back(c);
        return true;
    }
    if (::inet_pton(AF_INET6, host.c_str(), &in6.sin6_addr) == 1) {
        in6.sin6_family = AF_INET6;
        in6.sin6_port = portBytes;
        c.length = sizeof in6;
        out.push_back(c);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    resolveError = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (resolveError != 0)
        return false;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof c.addr)
            continue;
        Candidate next;
        std::memcpy(&next.addr, a->ai_addr, a->ai_addrlen);
        next.length = a->ai_addrlen;
        if (a->ai_family == AF_INET)
            reinterpret_cast<sockaddr_in&>(next.addr).sin_port = portBytes;
        else
            reinterpret_cast<sockaddr_in6&>(next.addr).sin6_port = portBytes;
        const bool seen = std::any_of(out.begin(), out.end(), [&](const Candidate& o) {
            return o.length == next.length && std::memcmp(&o.addr, &next.addr, o.length) == 0;
        });
        if (!seen)
            out.push_back(next);
    }
    ::freeaddrinfo(list);
    return !out.empty();
}

bool setBlocking(int fd, bool blocking)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    return ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

} // namespace

std::string HostWithoutBrackets(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

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
}

CTimedSocket::~CTimedSocket()
{
    Close();
}

int CTimedSocket::Wait(short events, int seconds)
{
    return WaitUntil(events, Clock::now() + std::chrono::seconds(seconds < 0 ? 0 : seconds));
}

CTimedSocket::Clock::time_point CTimedSocket::TimeoutDeadline() const
{
    return Clock::now() + std::chrono::seconds(std::max(0, m_nTimeout));
}

int CTimedSocket::WaitUntil(short events, Clock::time_point deadline, InputWatch* interruptOn)
{
    // Nothing to wait for without a socket (poll would just sleep until the deadline): a send or
    // read on an object whose connect failed fails at once.
    if (m_hSocket == INVALID_SOCKET) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        if (interruptOn && interruptOn->InputReady())
            return 2;
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p[2] = {{m_hSocket, events, 0},
                       {interruptOn ? interruptOn->WatchHandle() : INVALID_SOCKET, POLLIN, 0}};
        const int r = g_calls.poll(p, interruptOn ? 2 : 1,
                                   static_cast<int>(std::clamp(left, 0LL, 86400000LL)));
        if (r > 0) {
            if (p[0].revents != 0 || !interruptOn)
                return 1; // an error or hang-up also ends the wait; the next call reports it
            continue;     // the other socket: InputReady decides whether that is a reply
        }
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
    m_failure = {};
    std::vector<Candidate> candidates;
    int resolveError = 0;
    if (!addressesOf(HostWithoutBrackets(host), port, candidates, resolveError)) {
        m_failure = {ConnectError::Stage::Resolve, EINVAL, resolveError};
        m_nLastError = errno = EINVAL;
        return false;
    }
    const Clock::time_point deadline = TimeoutDeadline();
    int err = 0;
    bool socketMade = false;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const int family = candidates[i].addr.ss_family;
        if (m_hSocket != INVALID_SOCKET && Family() != family)
            Close();
        if (m_hSocket == INVALID_SOCKET) {
            m_hSocket = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (m_hSocket == INVALID_SOCKET) {
                if (!socketMade)
                    err = errno;
                continue;
            }
        }
        socketMade = true;
        // An address that does not answer leaves the ones after it their share of the time.
        const std::size_t left = candidates.size() - i;
        const Clock::time_point until =
            left == 1 ? deadline
                      : Clock::now() + (deadline - Clock::now()) / static_cast<long>(left);
        err = ConnectTo(candidates[i].addr, candidates[i].length, until);
        if (err == 0)
            return true;
    }
    m_failure = {socketMade ? ConnectError::Stage::Connect : ConnectError::Stage::Socket, err, 0};
    m_nLastError = errno = err;
    return false;
}

int CTimedSocket::ConnectTo(const sockaddr_storage& addr, unsigned length,
                            Clock::time_point deadline)
{
    // A plain blocking connect to a black-holed address would hang for minutes: connect without
    // blocking and wait at most until the deadline.
    if (!setBlocking(m_hSocket, false)) {
        const int err = errno;
        Close();
        return err;
    }
    int err = 0;
    if (::connect(m_hSocket, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
        err = errno;
        if (err == EINPROGRESS) {
            const int w = WaitUntil(POLLOUT, deadline);
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
    if (err != 0)
        Close(); // a socket whose connect failed cannot be connected again: start afresh
    return err;
}

bool CTimedSocket::CreateListener(int port, int family)
{
    Close();
    if (family != AF_INET && family != AF_INET6)
        return false;
    m_hSocket = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_hSocket == INVALID_SOCKET)
        return false;
    sockaddr_storage addr{};
    socklen_t length = sizeof(sockaddr_in);
    if (family == AF_INET) {
        auto& in = reinterpret_cast<sockaddr_in&>(addr);
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_ANY);
        in.sin_port = htons(static_cast<uint16_t>(port));
    } else {
        const int on = 1; // IPv6 only: IPv4 peers would show up as mapped addresses
        ::setsockopt(m_hSocket, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        auto& in6 = reinterpret_cast<sockaddr_in6&>(addr);
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_any;
        in6.sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof in6;
    }
    if (::bind(m_hSocket, reinterpret_cast<sockaddr*>(&addr), length) != 0) {
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

int CTimedSocket::Accept(const std::string& onlyFrom, InputWatch* interruptOn, bool* interrupted)
{
    if (interrupted)
        *interrupted = false;
    if (m_hSocket == INVALID_SOCKET)
        return INVALID_SOCKET;
    const Clock::time_point deadline = TimeoutDeadline();
    for (;;) {
        const int w = WaitUntil(POLLIN, deadline, interruptOn);
        if (w == 2 && interrupted)
            *interrupted = true;
        if (w != 1)
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
    if (m_pTls)
        return static_cast<int>(TlsWrite(data, static_cast<std::size_t>(std::max(0, length))));
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
    if (m_pTls)
        return TlsWrite(data, length);
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
    const long long n =
        ReceiveSome(buffer, static_cast<std::size_t>(std::max(0, size)),
                    Clock::now() + std::chrono::seconds(std::max(0, m_nReceiveWait)));
    return n == -2 ? 0 : static_cast<int>(n);
}

long long CTimedSocket::ReceiveSome(void* buffer, std::size_t size, Clock::time_point deadline)
{
    if (!m_readAhead.empty() && size > 0) {
        const std::size_t n = std::min(size, m_readAhead.size());
        std::memcpy(buffer, m_readAhead.data(), n);
        m_readAhead.erase(0, n);
        return static_cast<long long>(n);
    }
    if (m_pTls)
        return TlsRead(buffer, size, deadline);
    const int w = WaitUntil(POLLIN, deadline);
    if (w != 1)
        return w == 0 ? -2 : -1;
    const ssize_t n = g_calls.recv(m_hSocket, buffer, size, 0);
    return n <= 0 ? 0 : n;
}

bool CTimedSocket::GetLocalAddress(char* dest, std::size_t capacity, int& port)
{
    if (capacity == 0)
        return false;
    dest[0] = '\0';
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    while (::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return false;
        len = sizeof addr;
    }
    if (addr.ss_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
    else if (addr.ss_family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
    const std::string text = addressText(addr);
    if (text.empty() || text.size() >= capacity)
        return false;
    std::memcpy(dest, text.c_str(), text.size() + 1);
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

int CTimedSocket::Family() const
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (m_hSocket == INVALID_SOCKET ||
        ::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return addr.ss_family;
}

CTimedSocket::TlsResult CTimedSocket::StartTls(CTlsContext& context, bool control,
                                               Clock::time_point deadline, InputWatch* interruptOn)
{
    if (!m_pTls) {
        m_strTlsError.clear();
        if (m_hSocket == INVALID_SOCKET) {
            m_strTlsError = "TLS handshake failed: not connected";
            return TlsResult::Failed;
        }
        // Bytes that came in clear behind the reply that started TLS are not the server's word:
        // they must not be read later as if they had come through TLS.
        m_readAhead.clear();
        m_pTls = std::make_unique<CTlsConnection>(context, m_hSocket, control);
    }
    for (;;) {
        const CTlsConnection::Io io = m_pTls->Handshake();
        if (io == CTlsConnection::Io::Done)
            return TlsResult::Done;
        if (io != CTlsConnection::Io::WantRead && io != CTlsConnection::Io::WantWrite) {
            // The TLS connection stays: nothing may be sent in clear on this socket any more.
            m_strTlsError = m_pTls->Error();
            return TlsResult::Failed;
        }
        const int w = WaitUntil(io == CTlsConnection::Io::WantWrite ? POLLOUT : POLLIN, deadline,
                                interruptOn);
        if (w == 2)
            return TlsResult::Interrupted;
        if (w == 0)
            return TlsResult::TimedOut;
        if (w < 0) {
            m_strTlsError = std::string("TLS handshake failed: ") + std::strerror(errno);
            return TlsResult::Failed;
        }
    }
}

bool CTimedSocket::ShutdownTls(Clock::time_point deadline, InputWatch* interruptOn)
{
    if (!m_pTls)
        return true;
    for (;;) {
        const CTlsConnection::Io io = m_pTls->Shutdown();
        if (io == CTlsConnection::Io::Done)
            return true;
        if (io != CTlsConnection::Io::WantRead && io != CTlsConnection::Io::WantWrite)
            return false;
        // Interrupted: the server has replied, so it needs nothing more from this connection.
        if (WaitUntil(io == CTlsConnection::Io::WantWrite ? POLLOUT : POLLIN, deadline,
                      interruptOn) != 1)
            return false;
    }
}

bool CTimedSocket::InputReady()
{
    if (!m_readAhead.empty())
        return true;
    if (m_hSocket == INVALID_SOCKET)
        return false;
    if (!m_pTls) {
        pollfd p{m_hSocket, POLLIN, 0};
        return g_calls.poll(&p, 1, 0) > 0;
    }
    // A record may carry no data (a session ticket): take it in and say whether data came.
    char record[16 * 1024];
    std::size_t n = 0;
    switch (m_pTls->Read(record, sizeof record, n)) {
    case CTlsConnection::Io::Done:
        m_readAhead.assign(record, n);
        return true;
    case CTlsConnection::Io::WantRead:
    case CTlsConnection::Io::WantWrite:
        return false;
    default:
        return true; // the end or an error: the reader finds it
    }
}

long long CTimedSocket::TlsRead(void* buffer, std::size_t size, Clock::time_point deadline)
{
    for (;;) {
        std::size_t n = 0;
        const CTlsConnection::Io io = m_pTls->Read(buffer, size, n);
        if (io == CTlsConnection::Io::Done)
            return static_cast<long long>(n);
        if (io != CTlsConnection::Io::WantRead && io != CTlsConnection::Io::WantWrite)
            return 0;
        const int w = WaitUntil(io == CTlsConnection::Io::WantWrite ? POLLOUT : POLLIN, deadline);
        if (w == 0)
            return -2;
        if (w < 0)
            return -1;
    }
}

long long CTimedSocket::TlsWrite(const void* data, std::size_t length)
{
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < length) {
        std::size_t n = 0;
        const CTlsConnection::Io io = m_pTls->Write(p + done, length - done, n);
        if (io == CTlsConnection::Io::Done) {
            done += n;
            continue;
        }
        if (io != CTlsConnection::Io::WantRead && io != CTlsConnection::Io::WantWrite)
            return -1;
        const int w = Wait(io == CTlsConnection::Io::WantWrite ? POLLOUT : POLLIN, m_nTimeout);
        if (w == 0)
            return -2;
        if (w < 0)
            return -1;
    }
    return static_cast<long long>(done);
}

void CTimedSocket::Reset()
{
    m_readAhead.clear();
    Close();
}

void CTimedSocket::Close()
{
    m_readAhead.clear();
    m_pTls.reset();
    if (m_hSocket != INVALID_SOCKET) {
        ::close(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
}

std::string DescribeConnectFailure(const ConnectError& failure, const std::string& host, int port,
                                   int timeoutSeconds)
{
    const std::string where =
        (host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host) +
        ":" + std::to_string(port);
    switch (failure.stage) {
    case ConnectError::Stage::None:
        return {};
    case ConnectError::Stage::Resolve:
        return "name not found: " + std::string(failure.resolveError != 0
                                                    ? ::gai_strerror(failure.resolveError)
                                                    : "no address");
    case ConnectError::Stage::Socket:
        return "no socket could be made: " + std::string(std::strerror(failure.error));
    case ConnectError::Stage::Connect:
        break;
    }
    switch (failure.error) {
    case ECONNREFUSED:
        return "connection refused: nothing listens on " + where;
    case ETIMEDOUT:
        return "timed out after " + std::to_string(timeoutSeconds) + " s";
    default:
        return std::string(std::strerror(failure.error)) + " (" + where + ")";
    }
}

} // namespace vistrel
