#pragma once

#include <string>
#include <vector>

namespace vistrel {

// The headless publisher's command line:
//   vistreld [--config NAME] [--once | --check-ftp | --set-password WHICH] [--help] [--version]
struct DaemonOptions {
    std::string config; // empty: the default settings file
    bool once = false;
    bool checkFtp = false;
    bool help = false;
    bool version = false;
    // --set-password WHICH: store a password read from standard input (ftp, proxy or dialup).
    std::string setPassword;
};

// Parses the arguments after the program name. Returns false with *error set for an unknown
// option, a missing value or options that exclude each other.
bool ParseDaemonOptions(const std::vector<std::string>& args, DaemonOptions* options,
                        std::string* error);

// The --help text.
std::string DaemonUsage();

} // namespace vistrel
