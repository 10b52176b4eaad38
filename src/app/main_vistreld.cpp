// vistreld: the headless publisher. The same cycle, schedule and settings as the desktop
// program, with no display: for servers, small boards and systemd.
#include "app/CheckFtp.h"
#include "app/DaemonHost.h"
#include "app/DaemonOptions.h"
#include "app/Hub.h"
#include "capture/CaptureDrivers.h"
#include "config/SettingsFile.h"
#include "dialup/CDialUpManager.h"
#include "platform/PrivateTempDir.h"
#include "vistrel/Version.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vistrel;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int signo)
{
    const char c = static_cast<char>(signo);
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}

void installSignals()
{
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe);
    ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        ::sigaction(s, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    DaemonOptions options;
    std::string error;
    if (!ParseDaemonOptions(args, &options, &error)) {
        std::fprintf(stderr, "vistreld: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(DaemonUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("vistreld %s\n", kVersionString);
        return 0;
    }

    // Text is drawn on pictures in memory: no display is needed or wanted.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Services started outside a login session have no runtime directory; Qt wants one.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const std::string runtime = PrivateTempDirectory();
        if (!runtime.empty())
            qputenv("XDG_RUNTIME_DIR", runtime.c_str());
    }
    QGuiApplication app(argc, argv);

    DaemonHost host;
    const std::string settingsPath = FixSettingsFile(options.config, &error);
    if (!error.empty())
        host.Log("message", error);
    host.Log("settings", settingsPath);
    // A FIFO or a device there would hold every read of the settings for ever.
    if (!CheckSettingsFile(settingsPath, &error)) {
        std::fprintf(stderr, "vistreld: %s\n", error.c_str());
        return 1;
    }

    if (!options.setPassword.empty()) {
        std::string password;
        for (int c; (c = std::getchar()) != EOF && c != '\n';)
            password += static_cast<char>(c);
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
        const char* section = options.setPassword == "dialup" ? "ConnectOptions" : "UploadOptions";
        const char* key = options.setPassword == "ftp"     ? "FTPPassword"
                          : options.setPassword == "proxy" ? "FireWallPassword"
                                                           : "Password";
        if (!PasswordFitsSettingsFile(password) || !IniWritePassword(section, key, password)) {
            std::fprintf(stderr, "vistreld: the password could not be stored in %s\n",
                         settingsPath.c_str());
            return 1;
        }
        host.Log("settings", std::string("stored ") + section + "/" + key);
        return 0;
    }

    if (options.checkFtp) {
        AutoResetEvent idle(true);
        LiveSettings live;
        live.LoadAll(idle);
        std::string transcript;
        const bool ok = CheckFtp(live, transcript);
        std::fputs(transcript.c_str(), ok ? stdout : stderr);
        return ok ? 0 : 1;
    }

    installSignals();
    auto dialUp = std::make_shared<CDialUpManager>(host);
    CaptureDriverList drivers;
    Hub hub(host, host, dialUp, drivers, {});
    host.Attach(hub);

    int exitCode = 0;
    if (options.once) {
        QObject::connect(&hub, &Hub::cycleDone, &app, [&](int result, const QString& text) {
            if (result)
                std::printf("%s\n", text.toStdString().c_str());
            else
                std::fprintf(stderr, "%s\n", text.toStdString().c_str());
            exitCode = result ? 0 : 1;
            app.quit();
        });
    }
    if (!hub.Startup(!options.once))
        return 1;
    const std::string folder = hub.Settings().m_strWorkingFolder;
    host.Log("settings", "working folder " + (folder.empty() ? std::string("./") : folder));

    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char c = 0;
        if (::read(g_signalPipe[0], &c, 1) != 1)
            return;
        switch (c) {
        case SIGHUP:
            host.Log("signal", "SIGHUP: re-reading the settings");
            hub.ReloadSettings();
            break;
        case SIGUSR1:
            host.Log("signal", "SIGUSR1: capturing now");
            hub.OnCaptureCommand();
            break;
        default:
            host.Log("signal", c == SIGINT ? "SIGINT: shutting down" : "SIGTERM: shutting down");
            if (options.once)
                exitCode = 1;
            app.quit();
            break;
        }
    });

    if (options.once && !hub.OnCaptureCommand()) {
        std::fprintf(stderr, "vistreld: the cycle could not be started\n");
        exitCode = 1;
    } else {
        app.exec();
    }

    const bool ended = hub.Shutdown();
    host.Log("status", "stopped");
    if (!ended) {
        // The worker is stuck in a network call past its time: leave without running the
        // destructors it may still be using.
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}
