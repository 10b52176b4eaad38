#include "platform/DesktopOpen.h"

#include <cerrno>
#include <chrono>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vistrel {

DesktopOpenResult OpenWithDesktop(const std::string& address, const std::string& program,
                                  int timeoutMs)
{
    DesktopOpenResult result;
    std::string programArg = program;
    std::string addressArg = address;
    char* argv[] = {programArg.data(), addressArg.data(), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    if (spawned != 0) {
        result.startError = spawned;
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            // posix_spawnp reports a program it cannot run as the child's status 127.
            if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
                result.startError = ENOENT;
                return result;
            }
            result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            result.kind =
                result.exitStatus == 0 ? DesktopOpenResult::Opened : DesktopOpenResult::Failed;
            return result;
        }
        if (r < 0 && errno != EINTR) {
            result.kind = DesktopOpenResult::Opened; // reaped elsewhere: nothing more to know
            return result;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            // Still busy: it runs on, and a thread of its own reaps it when it ends.
            std::thread([pid] {
                int ended = 0;
                while (::waitpid(pid, &ended, 0) < 0 && errno == EINTR) {
                }
            }).detach();
            result.kind = DesktopOpenResult::Opened;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int LinkResultOf(const DesktopOpenResult& answer)
{
    switch (answer.kind) {
    case DesktopOpenResult::Opened:
        return kLinkOpened;
    case DesktopOpenResult::NotStarted:
        return answer.startError == EACCES ? kLinkAccessDenied : kLinkFileNotFound;
    case DesktopOpenResult::Failed:
        break;
    }
    switch (answer.exitStatus) {
    case 2:
        return kLinkFileNotFound;
    case 3:
        return kLinkNoAssociation;
    case 4:
        return kLinkBadAssociation;
    default:
        return kLinkOutOfResources;
    }
}

int OpenAddressOnDesktop(const std::string& address)
{
    return LinkResultOf(OpenWithDesktop(address));
}

} // namespace vistrel
