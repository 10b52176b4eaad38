// The data side of CFtpSession: uploads (passive or active) and the directory listing.
#include "ftp/FtpSession.h"

#include "platform/PrivateTempDir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <new>
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

// Copies src over dst. Returns 0 or the errno of the failure.
int copyFile(const std::string& src, const std::string& dst)
{
    FileHandle in(::open(src.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return errno;
    FileHandle out(::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return errno;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out.get(), buf + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += w;
        }
    }
    if (::close(out.get()) != 0) {
        // close reports a delayed write failure (a full disk on some file systems)
        return errno;
    }
    return 0;
}

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
    address = inner.substr(0, second);
    // Only a dotted IPv4 address is a data address: anything else would go to the resolver.
    int parts = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = address.find(',', start);
        int b = 0;
        if (!parseByte(address.substr(start, comma - start), b))
            return false;
        ++parts;
        if (comma == std::string::npos)
            break;
        address[comma] = '.';
        start = comma + 1;
    }
    if (parts != 4)
        return false;
    port = high * 256 + low;
    return true;
}

bool CFtpSession::UploadFile(const std::string& localPath, const std::string& remoteName)
{
    if (RefuseLineBreaks({&remoteName}))
        return false;
    const auto copyFailed = [this](int err) {
        char text[64];
        std::snprintf(text, sizeof text, ftptext::kCopyFile, err);
        m_strMessage = text;
        return false;
    };
    const std::string temp = CreatePrivateTempFile("VSI");
    if (temp.empty())
        return copyFailed(errno ? errno : EACCES);
    if (const int err = copyFile(localPath, temp); err != 0) {
        ::unlink(temp.c_str());
        return copyFailed(err);
    }
    bool ok = false;
    try {
        ok = StoreFile(remoteName, temp, m_bPassive);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    ::unlink(temp.c_str());
    return ok;
}

bool CFtpSession::StoreFile(const std::string& remoteName, const std::string& localPath,
                            bool passive)
{
    if (RefuseLineBreaks({&remoteName}))
        return false;
    CTimedSocket listener;
    CTimedSocket data;
    listener.SetTimeout(m_nTimeout);
    data.SetTimeout(m_nTimeout);

    FileHandle file(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        m_strMessage = ftptext::kOpenLocalFile;
        return false;
    }
    if (!Command("TYPE I"))
        return false;

    std::string address;
    int port = 0;
    const char* memoryFailure = ftptext::kCreateListen;
    try {
        if (passive) {
            if (!Command("PASV") || !ParsePasvReply(m_strMessage, address, port))
                return false;
        } else {
            if (!listener.CreateListener(0)) {
                m_strMessage = ftptext::kCreateListen;
                return false;
            }
            if (!listener.Listen()) {
                m_strMessage = ftptext::kListen;
                return false;
            }
            char local[4096];
            int unused = 0;
            int listenPort = 0;
            char ignored[4096];
            if (!m_pControl || !m_pControl->GetLocalAddress(local, sizeof local, unused) ||
                !listener.GetLocalAddress(ignored, sizeof ignored, listenPort)) {
                m_strMessage = ftptext::kHostName;
                return false;
            }
            std::string arg = local;
            for (char& c : arg) {
                if (c == '.')
                    c = ',';
            }
            arg.append(",").append(std::to_string(listenPort / 256));
            arg.append(",").append(std::to_string(listenPort % 256));
            if (!Command("PORT " + arg))
                return false;
        }

        memoryFailure = ftptext::kDataConnect;
        const std::string stor = "STOR " + remoteName;
        if (!SendCommand(stor))
            return false;
        Log(stor + "\r\n");
        if (passive && !data.Connect(address, port)) {
            m_strMessage = ftptext::kConnect;
            return false;
        }
        const bool ready = ReadReply() && m_nReplyClass == 1;
        Log(m_strMessage + "\r\n");
        if (!ready)
            return false;
        if (!passive && !data.Attach(listener.Accept())) {
            m_strMessage = ftptext::kAccept;
            return false;
        }
        listener.Close();
    } catch (const std::bad_alloc&) {
        m_strMessage = memoryFailure;
        return false;
    }

    char buf[kTransferBufferSize];
    for (;;) {
        const ssize_t n = ::read(file.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_strMessage = ftptext::kFileError;
            return false;
        }
        if (n == 0)
            break;
        const int sent = data.Send(buf, static_cast<int>(n));
        if (sent < 1) {
            m_strMessage = sent == -2 ? ftptext::kTimeOut : ftptext::kDataSocket;
            return false;
        }
        // A short send: read the unsent part again rather than keeping it.
        if (sent < n && ::lseek(file.get(), -(n - sent), SEEK_CUR) < 0) {
            m_strMessage = ftptext::kFileError;
            return false;
        }
    }
    data.Reset();
    file.Close();
    return Command({});
}

long long CFtpSession::List(std::string& listing)
{
    CTimedSocket data;
    data.SetTimeout(m_nTimeout);
    data.SetReceiveWait(m_nListReceiveWait);

    std::string address;
    int port = 0;
    if (!Command("TYPE I") || !Command("PASV") || !ParsePasvReply(m_strMessage, address, port))
        return 0;
    // LIST is not written to the log.
    if (!SendCommand("LIST"))
        return 0;
    if (!data.Connect(address, port)) {
        m_strMessage = ftptext::kConnect;
        return 0;
    }
    const bool ready = ReadReply() && m_nReplyClass == 1;
    Log(m_strMessage + "\r\n");
    if (!ready)
        return 0;

    long long count = 0;
    char buf[kTransferBufferSize];
    for (;;) {
        const int n = data.Receive(buf, sizeof buf);
        if (n <= 0)
            break;
        try {
            listing.append(buf, static_cast<size_t>(n));
        } catch (const std::bad_alloc&) {
            m_strMessage = ftptext::kFileError;
            return 0;
        }
        count += n;
    }
    data.Reset();
    return Command({}) ? count : 0;
}

} // namespace vistrel
