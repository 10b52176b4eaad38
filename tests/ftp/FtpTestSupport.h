#pragma once

// Small fixtures shared by the FTP tests.

#include "ftp/SocketCalls.h"

#include <chrono>
#include <string>

namespace vistrel::test {

// Restores the socket calls a test replaced.
struct SocketCallsGuard {
    SocketCallsGuard() : saved(socketCalls()) {}
    ~SocketCallsGuard() { socketCalls() = saved; }
    SocketCalls saved;
};

// A listening socket on 127.0.0.1 that never accepts; connects complete through the backlog.
class LoopbackListener {
  public:
    explicit LoopbackListener(int backlog = 8);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    int port() const { return m_port; }

  protected:
    int m_fd = -1;
    int m_port = 0;
};

// A port on 127.0.0.1 where connects never complete: a backlog of 0 already taken.
class BlackHole : public LoopbackListener {
  public:
    BlackHole();
    ~BlackHole();

  private:
    int m_filler = -1;
};

// Points $TMPDIR at a folder for the life of the object.
class TmpdirOverride {
  public:
    explicit TmpdirOverride(const std::string& dir);
    ~TmpdirOverride();
    TmpdirOverride(const TmpdirOverride&) = delete;
    TmpdirOverride& operator=(const TmpdirOverride&) = delete;

  private:
    std::string m_old;
    bool m_had = false;
};

// Number of entries of a folder (0 when it does not exist).
int countEntries(const std::string& dir);

// Bytes that differ from position to position, so that reordering or loss shows.
std::string patternBytes(size_t size, unsigned seed = 1);

// Seconds since start.
inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace vistrel::test
