#include "ReplyReaderFuzz.h"

#include "ftp/FtpSession.h"
#include "ftp/SocketCalls.h"

#include <algorithm>
#include <sys/socket.h>
#include <unistd.h>

namespace vistrel::test {

namespace {

size_t g_chunk = 0;

ssize_t chunkedRecv(int fd, void* buf, size_t length, int flags)
{
    if (g_chunk > 0)
        length = std::min(length, g_chunk);
    return systemSocketCalls().recv(fd, buf, length, flags);
}

bool replyIsSound(const CFtpSession& s)
{
    const std::string& m = s.Message();
    if (m.empty() || m.size() > CFtpControl::kLineBufferSize - 1)
        return false;
    if (m.find('\r') != std::string::npos || m.find('\0') != std::string::npos)
        return false;
    const size_t lf = m.find('\n');
    if (lf != std::string::npos && lf != m.size() - 1)
        return false;
    return s.ReplyClass() == m[0] - '0';
}

} // namespace

bool FuzzReplyReader(const uint8_t* data, size_t size)
{
    if (size == 0)
        return true;
    g_chunk = data[0];
    ++data;
    --size;
    // The whole stream must fit into the socket buffer before reading starts.
    size = std::min<size_t>(size, 100000);

    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return true;
    int big = 1 << 20;
    ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    ::setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fds[1], data + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fds[1]);

    const SocketCalls saved = socketCalls();
    socketCalls().recv = chunkedRecv;
    bool sound = true;
    {
        CFtpSession session;
        session.SetTimeout(1);
        session.AttachControl(fds[0]);
        for (size_t replies = 0; replies <= size && session.ReadReply(); ++replies) {
            if (!replyIsSound(session)) {
                sound = false;
                break;
            }
        }
        if (sound && session.Message() != ftptext::kRead)
            sound = false; // the stream ends with the peer closing: a read error
    }
    socketCalls() = saved;
    return sound;
}

} // namespace vistrel::test
