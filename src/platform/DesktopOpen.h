#pragma once

#include <string>

namespace vistrel {

// How the desktop's handler (xdg-open) answered a request to open an address.
struct DesktopOpenResult {
    enum Kind {
        Opened,     // it ended with status 0, or is still busy after the time limit
        Failed,     // it ended with another status (exitStatus)
        NotStarted, // it could not be run (startError is the errno: ENOENT, EACCES, …)
    };
    Kind kind = NotStarted;
    int exitStatus = 0;
    int startError = 0;
};

// Runs program (xdg-open by default, looked up on PATH) with the address as its one argument and
// waits at most timeoutMs for its exit status. The address is never read by a shell. A handler
// that is still running after the limit (one that waits for the browser it started) counts as
// opened and is left to end by itself; it is reaped then.
DesktopOpenResult OpenWithDesktop(const std::string& address,
                                  const std::string& program = "xdg-open", int timeoutMs = 10000);

} // namespace vistrel
