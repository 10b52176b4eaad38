#include "upload/AfterPublish.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace vistrel {

bool SplitCommandWords(const std::string& line, std::vector<std::string>* words, std::string* error)
{
    words->clear();
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words->push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (++i == line.size()) {
                *error = "the command ends in a backslash";
                return false;
            }
            if (line[i] != '\n') // a backslash before a line break joins the lines
                word += line[i];
        } else if (c == '\'') {
            const auto end = line.find('\'', i + 1);
            if (end == std::string::npos) {
                *error = "the command has a ' without its closing '";
                return false;
            }
            word += line.substr(i + 1, end - i - 1);
            i = end;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) {
                    *error = "the command has a \" without its closing \"";
                    return false;
                }
                if (line[i] == '"')
                    break;
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::strchr("\"\\$`\n", line[i + 1])) {
                    if (line[++i] != '\n')
                        word += line[i];
                } else {
                    word += line[i];
                }
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words->push_back(std::move(word));
    return true;
}

namespace {

constexpr std::size_t kOutputKept = 64 * 1024;

void Drain(int fd, std::string& output, bool* eof)
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            if (output.size() < kOutputKept)
                output.append(buf,
                              std::min(static_cast<std::size_t>(n), kOutputKept - output.size()));
            continue;
        }
        if (n == 0)
            *eof = true;
        else if (errno == EINTR)
            continue;
        return;
    }
}

} // namespace

CommandResult RunCommand(const std::vector<std::string>& words,
                         const std::vector<std::pair<std::string, std::string>>& extra,
                         int timeoutSeconds, const std::function<bool()>& cancelled)
{
    CommandResult r;
    if (words.empty()) {
        r.error = "no program is named";
        return r;
    }
    // Everything the child needs is made before the fork: after it, only system calls.
    std::vector<std::string> envText;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& [name, value] : extra)
            replaced = replaced || entry.rfind(name + "=", 0) == 0;
        if (!replaced)
            envText.push_back(entry);
    }
    for (const auto& [name, value] : extra)
        envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText = words;
    std::vector<char*> argv;
    for (std::string& a : argText)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    int report[2]; // the child's errno when exec fails; closed by a successful exec
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(report, O_CLOEXEC) != 0) {
        r.error = std::string("cannot make a pipe (") + std::strerror(errno) + ")";
        return r;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        r.error = std::string("cannot start it (") + std::strerror(errno) + ")";
        for (int fd : {out[0], out[1], report[0], report[1]})
            ::close(fd);
        return r;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execvpe(argv[0], argv.data(), envp.data());
        const int why = errno;
        (void)!::write(report[1], &why, sizeof why);
        ::_exit(127);
    }
    ::setpgid(pid, pid); // also here: whichever runs first makes the group
    ::close(out[1]);
    ::close(report[1]);
    int why = 0;
    ssize_t got;
    while ((got = ::read(report[0], &why, sizeof why)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof why)) {
        ::waitpid(pid, nullptr, 0);
        ::close(out[0]);
        r.error = std::string("cannot run it (") + std::strerror(why) + ")";
        return r;
    }
    r.started = true;
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    bool eof = false;
    int status = 0;
    bool ended = false;
    while (!ended) {
        pollfd p{out[0], POLLIN, 0};
        if (!eof)
            ::poll(&p, 1, 100);
        else
            ::usleep(100 * 1000);
        if (!eof)
            Drain(out[0], r.output, &eof);
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        r.cancelled = cancelled && cancelled();
        r.timedOut = !r.cancelled && Clock::now() >= deadline;
        if (r.cancelled || r.timedOut) {
            ::kill(-pid, SIGTERM);
            const auto grace = Clock::now() + std::chrono::seconds(1);
            while (Clock::now() < grace && ::waitpid(pid, &status, WNOHANG) != pid)
                ::usleep(20 * 1000);
            ::kill(-pid, SIGKILL); // whatever of the group is left
            ::waitpid(pid, &status, 0);
            ended = true;
        }
    }
    if (!eof)
        Drain(out[0], r.output, &eof);
    ::close(out[0]);
    if (!r.timedOut && !r.cancelled) {
        if (WIFEXITED(status))
            r.exitStatus = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            r.signal = WTERMSIG(status);
    }
    return r;
}

std::string DescribeCommandEnd(const std::string& program, const CommandResult& result,
                               int timeoutSeconds)
{
    if (!result.started)
        return program + ": " + result.error;
    if (result.timedOut)
        return program + " did not end within " + std::to_string(timeoutSeconds) +
               " s and was stopped";
    if (result.cancelled)
        return program + " was stopped: the program is ending";
    if (result.signal)
        return program + " was ended by signal " + std::to_string(result.signal);
    if (result.exitStatus != 0)
        return program + " ended with status " + std::to_string(result.exitStatus);
    return {};
}

} // namespace vistrel
