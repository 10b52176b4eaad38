#include "app/DaemonOptions.h"

namespace vistrel {

bool ParseDaemonOptions(const std::vector<std::string>& args, DaemonOptions* options,
                        std::string* error)
{
    DaemonOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--config" || a == "-c") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = "option " + a + " needs a settings name";
                return false;
            }
            o.config = args[++i];
        } else if (a.rfind("--config=", 0) == 0) {
            o.config = a.substr(9);
            if (o.config.empty()) {
                *error = "option --config needs a settings name";
                return false;
            }
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--check-ftp") {
            o.checkFtp = true;
        } else if (a == "--set-password") {
            if (i + 1 >= args.size() ||
                (args[i + 1] != "ftp" && args[i + 1] != "proxy" && args[i + 1] != "dialup")) {
                *error = "option --set-password needs ftp, proxy or dialup";
                return false;
            }
            o.setPassword = args[++i];
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version" || a == "-V") {
            o.version = true;
        } else {
            *error = "unknown option " + a + " (try --help)";
            return false;
        }
    }
    if (int(o.once) + int(o.checkFtp) + int(!o.setPassword.empty()) > 1) {
        *error = "--once, --check-ftp and --set-password cannot be used together";
        return false;
    }
    *options = o;
    return true;
}

std::string DaemonUsage()
{
    return "Usage: vistreld [--config NAME] [--once | --check-ftp | --set-password WHICH]\n"
           "                [--help] [--version]\n"
           "\n"
           "Publishes webcam pictures without a display, with the settings of the desktop\n"
           "program.\n"
           "\n"
           "  --config NAME  use the settings file NAME.ini (a bare name lives in\n"
           "                 $XDG_CONFIG_HOME/vistrel/; a name with a '/' is used as given)\n"
           "  --once         run one cycle as if started by hand, then exit:\n"
           "                 status 0 when it succeeded, 1 when it failed\n"
           "  --check-ftp    log on to the FTP server, change to the directory, list it and\n"
           "                 quit, printing the conversation without passwords\n"
           "  --set-password WHICH\n"
           "                 store the ftp, proxy or dialup password read from standard\n"
           "                 input (one line) in the settings file, scrambled\n"
           "  --help         show this text\n"
           "  --version      show the version\n"
           "\n"
           "Without --once or --check-ftp it runs the schedule until SIGTERM or SIGINT.\n"
           "SIGHUP re-reads the settings; SIGUSR1 captures now.\n";
}

} // namespace vistrel
