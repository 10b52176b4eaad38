#pragma once

#include <string>

namespace vistrel {

// The signals both programs serve from their event loop: SIGTERM, SIGINT and SIGHUP (a session or
// service that ends, a terminal that goes, the headless publisher's reload) and SIGUSR1 (the
// desktop program's second start). A signal handler may do no more than write a byte, so each
// signal becomes one byte, its number, on a socket that the event loop watches.
//
// Returns the descriptor to watch, or -1 with *error set when the socket could not be made; the
// handlers are then not installed, so the signals keep their default action (a SIGTERM still
// ends the program rather than being written nowhere). Call once.
int InstallSignalSocket(std::string* error = nullptr);

// The number of the next signal waiting on fd, or 0 when none could be read.
int ReadSignal(int fd);

} // namespace vistrel
