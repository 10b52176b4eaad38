#include "ScriptedFtpServer.h"

#include "TestSupport.h"

#include <cctype>
#include <chrono>
#include <cstdio>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vistrel::test {

namespace {

using Clock = std::chrono::steady_clock;

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool sendAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Waits for fd to become readable, in slices so that stop requests are seen. 1 ready, 0 gave up.
int waitReadable(int fd, int timeoutMs, const std::atomic<bool>& stop)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stop.load() && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0)
            return 1;
    }
    return 0;
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

ScriptedFtpServer::ScriptedFtpServer() = default;

ScriptedFtpServer::~ScriptedFtpServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    closeFd(m_listenFd);
}

int ScriptedFtpServer::makeListener(int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (m_rcvBuf > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &m_rcvBuf, sizeof m_rcvBuf);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

static int portOf(int fd)
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

bool ScriptedFtpServer::start()
{
    m_listenFd = makeListener(4);
    if (m_listenFd < 0)
        return false;
    m_port = portOf(m_listenFd);
    m_thread = std::thread([this] { run(); });
    return true;
}

void ScriptedFtpServer::run()
{
    while (!stopping()) {
        if (!waitReadable(m_listenFd, 100, m_stop))
            continue;
        const int control = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (control < 0)
            continue;
        {
            std::lock_guard lock(m_mutex);
            m_connected = true;
        }
        serve(control);
        ::close(control);
        closeData();
        {
            std::lock_guard lock(m_mutex);
            m_connected = false;
        }
        m_cv.notify_all();
    }
}

bool ScriptedFtpServer::sendAction(int control, const Action& action)
{
    if (action.kind == Action::Drop)
        return false;
    for (size_t i = 0; i < action.chunks.size(); ++i) {
        if (i > 0 && action.pauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(action.pauseMs));
        if (!sendAll(control, action.chunks[i]))
            return false;
    }
    return true;
}

ScriptedFtpServer::Action ScriptedFtpServer::nextReply(const std::string& verb,
                                                       const std::string& arg)
{
    auto& queue = m_replies[verb];
    if (!queue.empty()) {
        Action a = queue.front();
        queue.pop_front();
        return a;
    }
    static const std::map<std::string, std::string> defaults = {
        {"USER", "331 Password required"}, {"PASS", "230 Logged in"},
        {"ACCT", "230 Account ok"},        {"CWD", "250 Directory changed"},
        {"MKD", "257 \"dir\" created"},    {"DELE", "250 Deleted"},
        {"RNFR", "350 Ready for RNTO"},    {"RNTO", "250 Renamed"},
        {"TYPE", "200 Type set to I"},     {"PORT", "200 PORT ok"},
        {"PWD", "257 \"/\" is current"},   {"QUIT", "221 Bye"},
        {"STOR", "150 Ready for data"},    {"LIST", "150 Here comes the listing"},
    };
    if (verb == "PASV") {
        closeFd(m_pasvFd);
        closeFd(m_fillerFd);
        int port = 0;
        if (m_fault == DataFault::PasvRefused) {
            port = freeLoopbackPort();
        } else if (m_fault == DataFault::PasvBlackHole) {
            // A backlog of 0 holds one connection; with it taken, further connects hang.
            m_pasvFd = makeListener(0);
            port = portOf(m_pasvFd);
            m_fillerFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = htons(static_cast<uint16_t>(port));
            ::connect(m_fillerFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        } else {
            m_pasvFd = makeListener(1);
            port = portOf(m_pasvFd);
        }
        const char* host = m_fault == DataFault::PasvNamesOtherHost ? "127,0,0,2" : "127,0,0,1";
        char text[96];
        std::snprintf(text, sizeof text, "227 Entering Passive Mode (%s,%d,%d).", host, port / 256,
                      port % 256);
        return line(text);
    }
    if (verb == "PORT") {
        int h[4], p[2];
        if (std::sscanf(arg.c_str(), "%d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3], &p[0],
                        &p[1]) == 6) {
            m_portHost = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." +
                         std::to_string(h[2]) + "." + std::to_string(h[3]);
            m_portPort = p[0] * 256 + p[1];
            m_havePort = true;
        }
    }
    const auto it = defaults.find(verb);
    return line(it != defaults.end() ? it->second : "500 Unknown command");
}

int ScriptedFtpServer::openDataConnection()
{
    if (m_fault == DataFault::PasvBlackHole)
        return -1; // the only connection there is the filler
    if (m_pasvFd >= 0) {
        if (!waitReadable(m_pasvFd, 5000, m_stop))
            return -1;
        const int fd = ::accept4(m_pasvFd, nullptr, nullptr, SOCK_CLOEXEC);
        closeFd(m_pasvFd);
        return fd;
    }
    if (!m_havePort || m_fault == DataFault::NeverConnect)
        return -1;
    m_havePort = false;
    if (m_fault == DataFault::IntruderFirst)
        intrude();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_rcvBuf > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &m_rcvBuf, sizeof m_rcvBuf);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(m_portPort));
    ::inet_pton(AF_INET, m_portHost.c_str(), &addr.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Connects to the client's PORT address from another loopback address and keeps what the client
// sends there until it closes the connection.
void ScriptedFtpServer::intrude()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(m_portPort));
    ::inet_pton(AF_INET, m_portHost.c_str(), &to.sin_addr);
    std::string got;
    bool closed = false;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        char buf[65536];
        while (waitReadable(fd, 3000, m_stop)) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                closed = true;
                break;
            }
            got.append(buf, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    std::lock_guard lock(m_mutex);
    m_intruderReceived = got;
    m_intruderClosed = closed;
}

ScriptedFtpServer::DataEnd ScriptedFtpServer::dataPhase(const std::string& verb)
{
    int data = openDataConnection();
    if (data < 0)
        return DataEnd::NoFinal;
    {
        std::lock_guard lock(m_mutex);
        ++m_dataConnections;
    }
    if (verb == "LIST" &&
        (m_fault == DataFault::EndlessListing || m_fault == DataFault::DripListing)) {
        // Until the client lets go (or the server stops; a minute at most).
        const bool drip = m_fault == DataFault::DripListing;
        std::string lines;
        while (lines.size() < 65536)
            lines += "drwxr-xr-x 2 cam cam 4096 Jan 1 00:00 again-and-again\r\n";
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (!m_stop && Clock::now() < end) {
            pollfd p{data, POLLOUT, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            if (::send(data, drip ? "d" : lines.data(), drip ? 1 : lines.size(), MSG_NOSIGNAL) <=
                0) {
                ++m_listingsLetGo;
                break;
            }
            if (drip)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        ::close(data);
        return DataEnd::NoFinal;
    }
    if (verb == "LIST") {
        sendAll(data, m_listing);
        if (m_fault == DataFault::StallListing) {
            m_heldFds.push_back(data);
            return DataEnd::Final;
        }
        ::close(data);
        return DataEnd::Final;
    }
    if (m_fault == DataFault::StallRead) {
        m_heldFds.push_back(data);
        return DataEnd::NoFinal;
    }
    std::string received;
    char buf[65536];
    for (;;) {
        if (!waitReadable(data, 10000, m_stop))
            break;
        const ssize_t n = ::recv(data, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        received.append(buf, static_cast<size_t>(n));
        if (m_fault == DataFault::DropMidStore &&
            static_cast<long long>(received.size()) >= m_dropAfter) {
            ::close(data); // unread data makes this a reset
            std::lock_guard lock(m_mutex);
            m_stored = received;
            return DataEnd::Drop;
        }
    }
    ::close(data);
    std::lock_guard lock(m_mutex);
    m_stored = received;
    return DataEnd::Final;
}

void ScriptedFtpServer::closeData()
{
    closeFd(m_pasvFd);
    closeFd(m_fillerFd);
    for (int& fd : m_heldFds)
        closeFd(fd);
    m_heldFds.clear();
    m_havePort = false;
}

void ScriptedFtpServer::serve(int control)
{
    if (!m_silent && m_greeting.kind != Action::Stall && !sendAction(control, m_greeting))
        return;
    std::string pending;
    char buf[4096];
    while (!stopping()) {
        if (!waitReadable(control, 100, m_stop))
            continue;
        const ssize_t n = ::recv(control, buf, sizeof buf, 0);
        if (n <= 0)
            return;
        {
            std::lock_guard lock(m_mutex);
            m_raw.append(buf, static_cast<size_t>(n));
        }
        pending.append(buf, static_cast<size_t>(n));
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            std::string cmd = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (!cmd.empty() && cmd.back() == '\r')
                cmd.pop_back();
            {
                std::lock_guard lock(m_mutex);
                m_transcript.push_back(cmd);
            }
            const size_t space = cmd.find(' ');
            const std::string verb = upper(cmd.substr(0, space));
            const std::string arg = space == std::string::npos ? "" : cmd.substr(space + 1);
            if (m_silent)
                continue;
            const Action action = nextReply(verb, arg);
            if (action.kind == Action::Stall)
                continue;
            if (!sendAction(control, action) || verb == "QUIT")
                return;
            if (!m_silentAfter.empty() && verb == m_silentAfter)
                m_silent = true;
            const bool preliminary =
                !action.chunks.empty() && !action.chunks[0].empty() && action.chunks[0][0] == '1';
            if ((verb == "STOR" || verb == "LIST") && preliminary) {
                const DataEnd end = dataPhase(verb);
                if (end == DataEnd::Drop)
                    return;
                if (end == DataEnd::Final) {
                    Action fin = line("226 Transfer complete");
                    if (!m_finals.empty()) {
                        fin = m_finals.front();
                        m_finals.pop_front();
                    }
                    if (fin.kind != Action::Stall && !sendAction(control, fin))
                        return;
                }
            }
        }
    }
}

std::vector<std::string> ScriptedFtpServer::transcript()
{
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < deadline) {
        pollfd p{m_listenFd, POLLIN, 0};
        const bool pending = ::poll(&p, 1, 0) > 0;
        {
            std::lock_guard lock(m_mutex);
            if (!m_connected && !pending)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard lock(m_mutex);
    return m_transcript;
}

std::string ScriptedFtpServer::rawInput()
{
    transcript();
    std::lock_guard lock(m_mutex);
    return m_raw;
}

std::string ScriptedFtpServer::stored()
{
    std::lock_guard lock(m_mutex);
    return m_stored;
}

std::string ScriptedFtpServer::intruderReceived()
{
    std::lock_guard lock(m_mutex);
    return m_intruderReceived;
}

bool ScriptedFtpServer::intruderClosed()
{
    std::lock_guard lock(m_mutex);
    return m_intruderClosed;
}

int ScriptedFtpServer::dataConnections()
{
    std::lock_guard lock(m_mutex);
    return m_dataConnections;
}

} // namespace vistrel::test
