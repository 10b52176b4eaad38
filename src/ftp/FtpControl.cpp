#include "ftp/FtpControl.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

CFtpControl::CFtpControl()
{
    m_buffer[0] = '\r';
}

CFtpControl::~CFtpControl()
{
    CloseLog();
}

bool CFtpControl::OpenLog(const std::string& path)
{
    if (m_pLog)
        return false; // one log per session; the open one stays
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // An existing log keeps its mode when opened: it holds the log-in, so it is made private.
    if (::fchmod(fd, 0600) != 0) {
        ::close(fd);
        return false;
    }
    m_pLog = ::fdopen(fd, "w");
    if (!m_pLog) {
        ::close(fd);
        return false;
    }
    return true;
}

void CFtpControl::CloseLog()
{
    if (m_pLog) {
        std::fclose(m_pLog);
        m_pLog = nullptr;
    }
}

void CFtpControl::Log(const std::string& entry)
{
    if (!m_pLog)
        return;
    // Every LF is written as CR LF, also the LF that ends the CR LF closing each entry.
    const auto put = [this](const std::string& text) {
        for (const char c : text) {
            if (c == '\n')
                std::fputc('\r', m_pLog);
            std::fputc(c, m_pLog);
        }
    };
    put(entry);
    put("\r\n");
    std::fflush(m_pLog);
}

bool CFtpControl::Fail(FtpFailure kind, std::string text)
{
    m_failure = kind;
    m_strMessage = std::move(text);
    return false;
}

bool CFtpControl::Refused()
{
    m_failure = FtpFailure::Refused;
    return false;
}

bool CFtpControl::Connect(const std::string& host, int port)
{
    Reset();
    m_failure = FtpFailure::None;
    if (m_socket.Connect(host, port))
        return true;
    const ConnectError& e = m_socket.Failure();
    switch (e.stage) {
    case ConnectError::Stage::Resolve:
        return Fail(FtpFailure::NameNotFound, ftptext::kConnect);
    case ConnectError::Stage::Socket:
        return Fail(FtpFailure::ConnectFailed, ftptext::kCreateSocket);
    default:
        return Fail(e.error == ECONNREFUSED ? FtpFailure::ConnectRefused
                    : e.error == ETIMEDOUT  ? FtpFailure::ConnectTimedOut
                                            : FtpFailure::ConnectFailed,
                    ftptext::kConnect);
    }
}

bool CFtpControl::Attach(int handle)
{
    Reset();
    return m_socket.Attach(handle);
}

CTimedSocket::TlsResult CFtpControl::StartTls(CTlsContext& context)
{
    // Bytes that came in clear behind the reply that started TLS are not the server's word: they
    // must not be read later as if they had come through TLS.
    m_nReadPos = -1;
    m_nBuffered = 0;
    return m_socket.StartTls(context, true, m_socket.TimeoutDeadline());
}

void CFtpControl::Reset()
{
    m_nReadPos = -1;
    m_nBuffered = 0;
    m_socket.Reset();
}

bool CFtpControl::Send(const std::string& text, Echo echo)
{
    if (HasLineBreak(text))
        return Fail(FtpFailure::Settings, ftptext::kLineBreak);
    const std::string line = text + "\r\n";
    const int sent = m_socket.SendString(line.c_str());
    if (sent <= 0)
        return Fail(sent == -2 ? FtpFailure::TimedOut : FtpFailure::Network, ftptext::kWrite);
    if (echo == Echo::Log)
        Log(m_socket.IsTls() && text.starts_with("PASS ") ? std::string("PASS ********") : text);
    return true;
}

int CFtpControl::ReadLine(char* dest, int capacity, int& length, ReplyDeadline* deadline)
{
    m_bExpired = false;
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
                deadline->at = m_socket.TimeoutDeadline();
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
        long long n;
        if (deadline && deadline->started) {
            // Checked before waiting: a server that floods lines never lets the wait expire.
            n = Clock::now() >= deadline->at
                    ? -2
                    : m_socket.ReceiveBefore(m_buffer, kLineBufferSize - 1, deadline->at);
        } else {
            n = m_socket.ReceiveBefore(m_buffer, kLineBufferSize - 1, m_socket.TimeoutDeadline());
        }
        if (n < 0) {
            dest[stored] = '\0';
            m_bExpired = n == -2;
            return n == -2 ? 0 : -1;
        }
        if (n == 0) {
            dest[stored] = '\0';
            length = stored;
            return 0;
        }
        m_nBuffered = static_cast<int>(n);
        m_buffer[m_nBuffered] = '\r';
        m_nReadPos = 0;
    }
}

bool CFtpControl::InputReady()
{
    // The LF behind the last line's CR (and any NUL) is skipped by ReadLine: it is no reply.
    while (m_nReadPos >= 0 && m_nReadPos < m_nBuffered &&
           (m_buffer[m_nReadPos] == '\n' || m_buffer[m_nReadPos] == '\0'))
        ++m_nReadPos;
    if (m_nReadPos >= 0 && m_nReadPos < m_nBuffered)
        return true;
    m_nReadPos = -1;
    return m_socket.InputReady();
}

bool CFtpControl::ReadLineInto(std::string& line, ReplyDeadline& deadline)
{
    char buf[kLineBufferSize];
    int length = 0;
    if (ReadLine(buf, sizeof buf, length, &deadline) <= 0)
        return false;
    const auto ended = [&] { return length > 0 && buf[length - 1] == '\n'; };
    if (ended()) {
        line.assign(buf, static_cast<size_t>(length));
        return true;
    }
    // A line longer than the buffer: keep its beginning as one line and drop the rest, so that the
    // rest is not taken for further replies.
    line.assign(buf, static_cast<size_t>(length - 1));
    line += '\n';
    do {
        if (ReadLine(buf, sizeof buf, length, &deadline) <= 0)
            return false;
    } while (!ended());
    return true;
}

bool CFtpControl::Read(Echo echo)
{
    const auto failed = [&] {
        Fail(m_bExpired ? FtpFailure::TimedOut : FtpFailure::Network, ftptext::kRead);
        if (echo == Echo::Log)
            Log(m_strMessage);
        return false;
    };
    // One deadline for the whole reply, however many lines it has.
    ReplyDeadline deadline;
    std::string line;
    if (!ReadLineInto(line, deadline))
        return failed();
    const auto take = [this](const std::string& l) {
        m_strMessage = l;
        if (!l.empty())
            m_nReplyClass = l[0] - '0';
    };
    take(line);
    if (line.size() >= 4 && line[3] == '-') {
        const long code = std::strtol(line.c_str(), nullptr, 10);
        for (;;) {
            if (!ReadLineInto(line, deadline))
                return failed();
            take(line);
            if (line.size() >= 4 && line[3] == ' ' &&
                std::strtol(line.c_str(), nullptr, 10) == code)
                break;
        }
    }
    m_failure = FtpFailure::None;
    if (echo == Echo::Log)
        Log(m_strMessage);
    return true;
}

bool CFtpControl::Exchange(const std::string& text)
{
    return Send(text) && Read();
}

} // namespace vistrel
