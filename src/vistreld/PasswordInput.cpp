#include "vistreld/PasswordInput.h"

#include <csignal>
#include <termios.h>
#include <unistd.h>

namespace vistrel {

namespace {

// The terminal as it was, for the signal handler that puts it back.
int g_ttyFd = -1;
termios g_saved{};

void restoreAndDie(int signo)
{
    ::tcsetattr(g_ttyFd, TCSAFLUSH, &g_saved);
    ::signal(signo, SIG_DFL);
    ::raise(signo);
}

// One line from fd, without its line end; false at the end of input before any line end.
bool readLine(int fd, std::string& line)
{
    line.clear();
    char c;
    while (true) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            return !line.empty();
        if (c == '\n')
            break;
        line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

// Asks once; the terminal's echo is already off.
bool ask(int fd, std::FILE* promptOut, const std::string& prompt, std::string& answer)
{
    std::fputs(prompt.c_str(), promptOut);
    std::fflush(promptOut);
    const bool ok = readLine(fd, answer);
    if (!ok) {
        std::fputs("\n", promptOut);
        std::fflush(promptOut);
    }
    return ok;
}

} // namespace

bool ReadPassword(int fd, std::FILE* promptOut, const std::string& prompt, std::string* password,
                  std::string* error)
{
    std::string first;
    if (!::isatty(fd) || ::tcgetattr(fd, &g_saved) != 0) {
        readLine(fd, first);
    } else {
        g_ttyFd = fd;
        struct sigaction sa = {};
        struct sigaction old[3] = {};
        sa.sa_handler = restoreAndDie;
        sigemptyset(&sa.sa_mask);
        const int signals[] = {SIGINT, SIGTERM, SIGHUP};
        for (int i = 0; i < 3; ++i)
            ::sigaction(signals[i], &sa, &old[i]);
        // Echo goes off before the first prompt shows, so nothing typed after it is lost or
        // shown; it stays off for both questions.
        termios quiet = g_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL; // the line end still shows, so the next prompt starts a line
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
        std::string second;
        const bool answered = ask(fd, promptOut, prompt, first) &&
                              (first.empty() || ask(fd, promptOut, "Again: ", second));
        ::tcsetattr(fd, TCSANOW, &g_saved);
        for (int i = 0; i < 3; ++i)
            ::sigaction(signals[i], &old[i], nullptr);
        if (!first.empty() && (!answered || first != second)) {
            *error = "the two passwords differ; nothing was stored";
            return false;
        }
    }
    if (first.empty()) {
        *error = "an empty password is not stored";
        return false;
    }
    *password = first;
    return true;
}

} // namespace vistrel
