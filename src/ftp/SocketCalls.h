#pragma once

#include <cstddef>
#include <poll.h>
#include <sys/types.h>

namespace vistrel {

// The system calls through which CTimedSocket waits, sends and receives. Tests replace entries to
// inject faults (a short send, a failing wait) and restore them afterwards; the program never
// changes them. Not thread-safe to change while sockets are in use.
struct SocketCalls {
    int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
    ssize_t (*send)(int fd, const void* data, size_t length, int flags);
    ssize_t (*recv)(int fd, void* data, size_t length, int flags);
};

// The calls in effect (initially ::poll, ::send and ::recv).
SocketCalls& socketCalls();

// The system's own calls, for restoring or for a replacement that forwards to them.
const SocketCalls& systemSocketCalls();

} // namespace vistrel
