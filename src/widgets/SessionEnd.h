#pragma once

#include <functional>

namespace vistrel {

// The end of the desktop session (SIGTERM, SIGINT or SIGHUP) as the program's windows see it.
// Once it has begun, every modal window is closed as its Cancel would, message boxes and
// questions return at once (a question is answered No), and no new modal window waits for a
// click.
void BeginSessionEnd();
bool SessionEnding();
// Closes every open modal window, the topmost first, as Escape would (its own Cancel runs).
void CloseModalWindows();
// For tests: forgets that the session ended.
void ResetSessionEndForTesting();

// Runs work on a thread of its own and returns when it is done, while this thread's event loop
// goes on without user input: windows repaint, timers and signals are served. After 200 ms the
// wait cursor shows. Outside a running application's main thread, work runs in place.
void RunBeside(const std::function<void()>& work);
// How many RunBeside calls are waiting now (work that must end before the program may go).
int BesideWorkRunning();

// Marks a thread of the windows' own (an FTP listing, the Test button's session) as running for
// as long as the guard lives. The program, once its window is gone, leaves without the library's
// static destructors while any such thread still runs, since the thread may still reach them.
class ThreadWorkGuard {
  public:
    ThreadWorkGuard();
    ~ThreadWorkGuard();
    ThreadWorkGuard(const ThreadWorkGuard&) = delete;
    ThreadWorkGuard& operator=(const ThreadWorkGuard&) = delete;
};
// How many guarded threads run now.
int ThreadWorkRunning();
// Waits at most timeoutMs for every guarded thread to end; true when none runs.
bool WaitForThreadWork(int timeoutMs);

} // namespace vistrel
