#include "platform/Sound.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vistrel {

void PlaySoundAsync(const std::string& path)
{
    if (path.empty() || ::access(path.c_str(), R_OK) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    for (const char* player : {"paplay", "aplay"}) {
        std::string quiet = player == std::string("aplay") ? "-q" : "--";
        char* argv[] = {const_cast<char*>(player), quiet.data(), const_cast<char*>(path.c_str()),
                        nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, player, &actions, nullptr, argv, environ) == 0) {
            // Reap the player when it is done, so no zombie is left behind.
            std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

} // namespace vistrel
