// The data side of CFtpSession: uploads (passive or active) and the directory listing.
#include "ftp/FtpSession.h"

#include "ftp/TlsConnection.h"
#include "platform/PrivateTempDir.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

// Owns a file descriptor for the length of a call.
class FileHandle {
  public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

  private:
    int m_fd;
};

// A number of at most three digits 0..255, the only thing a PASV field may hold.
bool parseByte(const std::string& field, int& value)
{
    size_t i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    if (i == field.size() || field.size() - i > 3)
        return false;
    value = 0;
    for (; i < field.size(); ++i) {
        if (field[i] < '0' || field[i] > '9')
            return false;
        value = value * 10 + (field[i] - '0');
    }
    return value <= 255;
}

} // namespace

bool ParsePasvReply(const std::string& reply, std::string& address, int& port)
{
    const size_t open = reply.find('(');
    const size_t close = reply.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return false;
    std::string inner = reply.substr(open + 1, close - open - 1);
    const size_t last = inner.rfind(',');
    if (last == std::string::npos || last == 0)
        return false;
    const size_t second = inner.rfind(',', last - 1);
    if (second == std::string::npos)
        return false;
    int high = 0;
    int low = 0;
    if (!parseByte(inner.substr(second + 1, last - second - 1), high) ||
        !parseByte(inner.substr(last + 1), low))
        return false;
    // Only a dotted IPv4 address is a data address: anything else would go to the resolver. It is
    // written anew from its numbers, so that blanks or leading zeros around them cannot make it a
    // name.
    const std::string numbers = inner.substr(0, second);
    std::string dotted;
    int parts = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = numbers.find(',', start);
        int b = 0;
        if (!parseByte(numbers.substr(start, comma - start), b))
            return false;
        dotted += (parts++ ? "." : "") + std::to_string(b);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parts != 4)
        return false;
    address = dotted;
    port = high * 256 + low;
    return true;
}

bool ParseEpsvReply(const std::string& reply, int& port)
{
    const size_t open = reply.find('(');
    if (open == std::string::npos || open + 5 > reply.size())
        return false;
    const char d = reply[open + 1];
    if (d < 33 || d > 126 || (d >= '0' && d <= '9') || reply[open + 2] != d || reply[open + 3] != d)
        return false;
    size_t i = open + 4;
    long value = 0;
    const size_t digits = i;
    while (i < reply.size() && reply[i] >= '0' && reply[i] <= '9' && i - digits < 5)
        value = value * 10 + (reply[i++] - '0');
    if (i == digits || i + 1 >= reply.size() || reply[i] != d || reply[i + 1] != ')' || value < 1 ||
        value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

int RemoveStaleUploadCopies()
{
    const std::string dir = PrivateTempDirectory();
    if (dir.empty())
        return 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(d)) {
        // mkstemp's names: the prefix and six letters or digits.
        const std::string name = e->d_name;
        if (name.size() != 9 || name.compare(0, 3, "VSI") != 0 ||
            !std::all_of(name.begin() + 3, name.end(),
                         [](unsigned char c) { return std::isalnum(c) != 0; }))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && ::unlinkat(::dirfd(d), name.c_str(), 0) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

bool CFtpSession::UploadFile(const std::string& localPath, const std::string& remoteName)
{
    if (RefuseLineBreaks({&remoteName}))
        return false;
    const auto openFailed = [this](int err) {
        char text[64];
        std::snprintf(text, sizeof text, ftptext::kCopyFile, err);
        return m_control.Fail(FtpFailure::LocalFile, text);
    };
    // O_NONBLOCK: a FIFO planted under the picture's name must not block the worker here.
    FileHandle file(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return openFailed(errno);
    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        return openFailed(errno);
    if (!S_ISREG(st.st_mode))
        return openFailed(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return StoreDescriptor(remoteName, file.get(), m_bPassive);
}

bool CFtpSession::PassiveDataAddress(std::string& address, int& port)
{
    // PASV can only name an IPv4 address; over IPv6 the extended form names just the port. A
    // reply that names no usable port is a refusal too.
    const bool v6 = m_control.Socket().Family() == AF_INET6;
    if (!Command(v6 ? "EPSV" : "PASV"))
        return false;
    if (!(v6 ? ParseEpsvReply(Message(), port) : ParsePasvReply(Message(), address, port)))
        return m_control.Refused();
    // The data connection goes to the host at the other end of the control connection, whatever
    // address the reply names: following the reply would let a hostile server (or anyone who can
    // change the reply) send the picture to any host. Through a proxy that host is the proxy,
    // which relays the data too; a proxy or server that names another host for its data port is
    // not followed (the same port on the control host is used), which also makes servers behind
    // NAT that name their private address work. EPSV names no address at all.
    if (!m_control.Socket().GetPeerAddress(address))
        return m_control.Fail(FtpFailure::Network, ftptext::kConnect);
    return true;
}

bool CFtpSession::StoreFile(const std::string& remoteName, const std::string& localPath,
                            bool passive)
{
    if (RefuseLineBreaks({&remoteName}))
        return false;
    FileHandle file(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return m_control.Fail(FtpFailure::LocalFile, ftptext::kOpenLocalFile);
    return StoreDescriptor(remoteName, file.get(), passive);
}

bool CFtpSession::StoreDescriptor(const std::string& remoteName, int fd, bool passive)
{
    CTimedSocket listener;
    CTimedSocket data;
    listener.SetTimeout(m_nTimeout);
    data.SetTimeout(m_nTimeout);
    if (!Command("TYPE I"))
        return false;

    std::string address;
    int port = 0;
    std::string controlPeer;
    if (passive) {
        if (!PassiveDataAddress(address, port))
            return false;
    } else if (!OfferActivePort(listener, controlPeer)) {
        return false;
    }

    if (!m_control.Send("STOR " + remoteName))
        return false;
    if (passive && !data.Connect(address, port)) {
        TakeReplyAfterFailedConnect();
        return false;
    }
    if (m_pTls) {
        if (!SecureData(data, passive ? nullptr : &listener, controlPeer))
            return false;
    } else {
        if (!ReadPreliminary())
            return false;
        // Only the server may connect: the listening port is open to anyone who finds it, and
        // whoever connects first would be sent the picture.
        if (!passive && !data.Attach(listener.Accept(controlPeer)))
            return m_control.Fail(FtpFailure::Network, ftptext::kAccept);
    }
    listener.Close();

    std::vector<char> buf(kTransferBufferSize);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return m_control.Fail(FtpFailure::LocalFile, ftptext::kFileError);
        }
        if (n == 0)
            break;
        const long long sent = data.SendAll(buf.data(), static_cast<std::size_t>(n));
        if (sent != n) {
            return sent == -2 ? m_control.Fail(FtpFailure::TimedOut, ftptext::kTimeOut)
                              : m_control.Fail(FtpFailure::Network, ftptext::kDataSocket);
        }
    }
    // Through TLS the end of the data is TLS's close: without it the server cannot tell a
    // complete upload from a cut one (and some refuse it). A final reply that comes first ends
    // the wait.
    data.ShutdownTls(data.TimeoutDeadline(), &m_control);
    data.Reset();
    return Command({});
}

bool CFtpSession::OfferActivePort(CTimedSocket& listener, std::string& controlPeer)
{
    const bool v6 = m_control.Socket().Family() == AF_INET6;
    if (!listener.CreateListener(0, v6 ? AF_INET6 : AF_INET))
        return m_control.Fail(FtpFailure::Network, ftptext::kCreateListen);
    if (!listener.Listen())
        return m_control.Fail(FtpFailure::Network, ftptext::kListen);
    char local[4096];
    int unused = 0;
    int listenPort = 0;
    char ignored[4096];
    if (!m_control.Socket().GetLocalAddress(local, sizeof local, unused) ||
        !listener.GetLocalAddress(ignored, sizeof ignored, listenPort) ||
        !m_control.Socket().GetPeerAddress(controlPeer))
        return m_control.Fail(FtpFailure::Network, ftptext::kHostName);
    if (v6)
        return Command("EPRT |2|" + std::string(local) + "|" + std::to_string(listenPort) + "|");
    std::string arg = local;
    for (char& c : arg) {
        if (c == '.')
            c = ',';
    }
    arg.append(",").append(std::to_string(listenPort / 256));
    arg.append(",").append(std::to_string(listenPort % 256));
    return Command("PORT " + arg);
}

void CFtpSession::TakeReplyAfterFailedConnect()
{
    // A server that refuses the command at once (a STOR into a directory that does not exist)
    // may close its passive port before the connection reaches it. Its refusal is then the
    // reason, and reading it keeps the session in step for the next command. The wait is short:
    // a server that is still waiting for the data connection says nothing.
    const int timeout = m_control.Timeout();
    m_control.SetTimeout(std::min(timeout, kRefusalWaitSeconds));
    const bool refused = ReadReply() && ReplyClass() != 1;
    m_control.SetTimeout(timeout);
    if (refused) {
        m_control.Log(Message());
        m_control.Refused();
    } else {
        m_control.Fail(FtpFailure::Network, ftptext::kConnect);
    }
}

bool CFtpSession::SecureData(CTimedSocket& data, CTimedSocket* listener,
                             const std::string& onlyFrom)
{
    // proftpd makes the handshake before its 1xx reply, vsftpd after it; either way the reply
    // may also be a refusal that comes instead of any connection or handshake.
    bool replied = false;
    const auto preliminary = [&] {
        replied = true;
        return ReadPreliminary();
    };
    if (listener) {
        for (;;) {
            bool interrupted = false;
            const int fd = listener->Accept(onlyFrom, replied ? nullptr : &m_control, &interrupted);
            if (data.Attach(fd))
                break;
            if (!interrupted)
                return m_control.Fail(FtpFailure::Network, ftptext::kAccept);
            if (!preliminary())
                return false;
        }
    }
    const auto deadline = data.TimeoutDeadline();
    for (;;) {
        const CTimedSocket::TlsResult r =
            data.StartTls(*m_pTls, false, deadline, replied ? nullptr : &m_control);
        if (r == CTimedSocket::TlsResult::Done)
            break;
        if (r == CTimedSocket::TlsResult::Interrupted) {
            if (!preliminary())
                return false;
            continue;
        }
        if (r == CTimedSocket::TlsResult::TimedOut)
            return m_control.Fail(FtpFailure::Tls, ftptext::kTlsTimedOut);
        // The server may have refused the transfer and dropped the connection (its reply says
        // why), or, after a 1xx, it sends a closing reply once it sees the connection fail.
        // Either is read now, so that the next command does not take it for its own.
        const std::string failure = data.TlsError();
        data.Reset();
        if (!replied && !preliminary()) {
            // The refusal is the message; without a reply, what failed.
            if (Failure() != FtpFailure::Refused)
                m_control.Fail(FtpFailure::Tls, failure);
            return false;
        }
        Command({});
        return m_control.Fail(FtpFailure::Tls, failure);
    }
    return replied || preliminary();
}

long long CFtpSession::List(std::string& listing)
{
    CTimedSocket data;
    data.SetTimeout(m_nTimeout);
    data.SetReceiveWait(m_nListReceiveWait);

    std::string address;
    int port = 0;
    if (!Command("TYPE I") || !PassiveDataAddress(address, port))
        return 0;
    // LIST is not written to the log.
    if (!SendCommand("LIST"))
        return 0;
    if (!data.Connect(address, port)) {
        TakeReplyAfterFailedConnect();
        return 0;
    }
    if (m_pTls ? !SecureData(data, nullptr, {}) : !ReadPreliminary())
        return 0;

    // The listing ends when the server closes the data connection or sends nothing for the
    // receive wait; it is given up when it grows too large, takes longer than its time limit
    // altogether, or is cancelled.
    using Clock = CTimedSocket::Clock;
    const auto endBy = Clock::now() + std::chrono::seconds(std::max(0, m_nListDeadline));
    const auto quiet = std::chrono::seconds(std::max(0, m_nListReceiveWait));
    auto lastData = Clock::now();
    std::vector<char> buf(kTransferBufferSize);
    long long count = 0;
    const char* givenUp = nullptr;
    for (;;) {
        const auto now = Clock::now();
        if (m_cancelled && m_cancelled()) {
            givenUp = ftptext::kListingCancelled;
            break;
        }
        if (now >= endBy) {
            givenUp = ftptext::kListingTooSlow;
            break;
        }
        if (now >= lastData + quiet)
            break;
        const auto until =
            std::min({now + std::chrono::milliseconds(200), endBy, lastData + quiet});
        const long long n = data.ReceiveBefore(buf.data(), kTransferBufferSize, until);
        if (n == -2)
            continue;
        if (n <= 0)
            break;
        if (count + n > kMaxListingBytes) {
            givenUp = ftptext::kListingTooLarge;
            break;
        }
        listing.append(buf.data(), static_cast<size_t>(n));
        count += n;
        lastData = Clock::now();
    }
    if (givenUp) {
        // What the server still sends is not waited for: the session ends with this.
        data.Reset();
        listing.clear();
        m_control.Fail(FtpFailure::Listing, givenUp);
        m_control.Log(Message());
        return 0;
    }
    data.ShutdownTls(data.TimeoutDeadline(), &m_control);
    data.Reset();
    return Command({}) ? count : 0;
}

} // namespace vistrel
