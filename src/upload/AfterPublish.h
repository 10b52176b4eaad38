#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vistrel {

// Splits a command line into words as a POSIX shell does, without any expansion: blanks
// separate words; '…' keeps everything literally; "…" keeps everything but a backslash before
// " \ $ ` or a line break; a backslash elsewhere keeps the next character. An unclosed quote or a
// trailing backslash is refused (false, *error set).
bool SplitCommandWords(const std::string& line, std::vector<std::string>* words,
                       std::string* error);

struct CommandResult {
    bool started = false;
    bool timedOut = false;  // ended at its time limit
    bool cancelled = false; // ended because cancelled() said so
    int exitStatus = -1;    // the program's status when it ended by itself; -1 otherwise
    int signal = 0;         // the signal that ended it, when one did
    std::string output;     // standard output and error together, at most 64 KiB kept
    std::string error;      // why it could not be started
};

// Runs words[0] (looked up in PATH) with the other words as its arguments, no shell, standard
// input from /dev/null, and the program's environment plus extra. It runs in a process group of
// its own: at the time limit, or as soon as cancelled() (asked every 100 ms) is true, the whole
// group gets SIGTERM and, a second later, SIGKILL.
CommandResult RunCommand(const std::vector<std::string>& words,
                         const std::vector<std::pair<std::string, std::string>>& extra,
                         int timeoutSeconds, const std::function<bool()>& cancelled);

// What the log says about a run that did not end well ("<program> ended with status 3", "…did not
// end within 30 s and was stopped"); empty for a run that ended with status 0.
std::string DescribeCommandEnd(const std::string& program, const CommandResult& result,
                               int timeoutSeconds);

} // namespace vistrel
