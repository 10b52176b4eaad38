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

// What opening an address came to, in the numbers the link's message box reads: above
// kLinkOpened is success, anything else names a failure. These are all the opener returns.
enum LinkResult : int {
    kLinkOutOfResources = 0,  // the handler failed without saying why
    kLinkFileNotFound = 2,    // the handler does not exist, or the address names nothing
    kLinkAccessDenied = 5,    // the handler may not be run
    kLinkBadAssociation = 27, // the handler found no way to open the address
    kLinkNoAssociation = 31,  // the handler found nothing to open it with
    kLinkOpened = 33,
};

// The LinkResult of how the desktop's handler answered: status 0 (or still busy) is opened;
// xdg-open's 2 (nothing there), 3 (no tool for it), 4 (the action failed) name their failure.
int LinkResultOf(const DesktopOpenResult& answer);

// The one address opener of the programs (the links of the About box, the survey's page): the
// desktop's handler as OpenWithDesktop runs it, its answer as a LinkResult. It waits for the
// handler: run it beside a window's thread.
int OpenAddressOnDesktop(const std::string& address);

} // namespace vistrel
