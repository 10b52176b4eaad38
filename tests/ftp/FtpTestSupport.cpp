#include "FtpTestSupport.h"

#include <cstdlib>
#include <filesystem>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vistrel::test {

LoopbackListener::LoopbackListener(int backlog)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::listen(m_fd, backlog) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        m_port = ntohs(addr.sin_port);
}

LoopbackListener::~LoopbackListener()
{
    ::close(m_fd);
}

BlackHole::BlackHole() : LoopbackListener(0)
{
    m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(m_port));
    ::connect(m_filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
}

BlackHole::~BlackHole()
{
    ::close(m_filler);
}

TmpdirOverride::TmpdirOverride(const std::string& dir)
{
    if (const char* old = std::getenv("TMPDIR")) {
        m_old = old;
        m_had = true;
    }
    ::setenv("TMPDIR", dir.c_str(), 1);
}

TmpdirOverride::~TmpdirOverride()
{
    if (m_had)
        ::setenv("TMPDIR", m_old.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

int countEntries(const std::string& dir)
{
    std::error_code ec;
    int n = 0;
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

std::string patternBytes(size_t size, unsigned seed)
{
    std::string s(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 16);
    }
    return s;
}

} // namespace vistrel::test
