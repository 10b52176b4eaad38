#include "platform/SignalSocket.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vistrel;

namespace {

// Runs body in a child process (the handlers would otherwise stay in the test program) and
// returns its wait status.
template <typename Body> int InChild(Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

} // namespace

TEST(SignalSocket, EachSignalArrivesAsItsNumberAndAFailureKeepsTheDefaultAction)
{
    // Every signal the programs serve comes out of the socket in the order raised.
    const int served = InChild([] {
        const int fd = InstallSignalSocket();
        if (fd < 0)
            return 10;
        const int raised[] = {SIGHUP, SIGUSR1, SIGTERM, SIGINT};
        for (int s : raised)
            ::raise(s);
        for (int s : raised)
            if (ReadSignal(fd) != s)
                return 11;
        return 0;
    });
    ASSERT_TRUE(WIFEXITED(served)) << served;
    EXPECT_EQ(WEXITSTATUS(served), 0);

    // No descriptor left for the socket: the error says so, and SIGTERM still ends the process
    // instead of being written nowhere.
    const int unwatched = InChild([] {
        const rlimit none{3, 3};
        if (::setrlimit(RLIMIT_NOFILE, &none) != 0)
            return 20;
        for (int fd = 3; fd < 1024; ++fd)
            ::close(fd);
        std::string error;
        if (InstallSignalSocket(&error) != -1 ||
            error != "cannot watch for signals: Too many open files")
            return 21;
        ::raise(SIGTERM);
        return 22;
    });
    ASSERT_TRUE(WIFSIGNALED(unwatched)) << "exit status " << WEXITSTATUS(unwatched);
    EXPECT_EQ(WTERMSIG(unwatched), SIGTERM);
}
