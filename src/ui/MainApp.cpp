#include "ui/MainApp.h"

#include "capture/CaptureDrivers.h"
#include "config/SettingsFile.h"
#include "dialup/CDialUpManager.h"
#include "platform/SignalSocket.h"
#include "ui/MainDialog.h"
#include "ui/SingleInstance.h"
#include "ui/WindowUtils.h"
#include "vistrel/Version.h"
#include "widgets/DisplayCheck.h"
#include "widgets/MessageBoxPrompter.h"
#include "widgets/SessionEnd.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace vistrel {

TailRequest ReadTail(const std::string& tail)
{
    if (tail == "--version")
        return TailRequest::Version;
    if (tail == "--help")
        return TailRequest::Help;
    return TailRequest::Run;
}

int CMainApp::Run(int argc, char** argv)
{
    const std::string tail = CommandLineTail(argc, argv);
    switch (ReadTail(tail)) {
    case TailRequest::Version:
        std::printf("vistrel %s\n", kVersionString);
        return 0;
    case TailRequest::Help:
        std::printf("usage: vistrel [NAME]\n"
                    "Publishes webcam pictures, with a live preview and a tray icon.\n"
                    "NAME chooses the settings file NAME.ini (default vistrel.ini); a name\n"
                    "without '/' lives in $XDG_CONFIG_HOME/vistrel/ (~/.config/vistrel/).\n"
                    "Without a display, use vistreld.\n");
        return 0;
    case TailRequest::Run:
        break;
    }
    std::string reason;
    if (!DisplayAvailable(&reason)) {
        std::fputs(
            NoDisplayMessage("vistrel", reason, "To publish without a display, use vistreld.")
                .c_str(),
            stderr);
        return 1;
    }

    // Qt sees only the program name: the rest of the command line is the settings file's.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QLatin1String(kProductName));
    QApplication::setApplicationVersion(QLatin1String(kVersionString));
    QApplication::setOrganizationName(QLatin1String(kCompanyName));
    QApplication::setDesktopFileName(QStringLiteral("vistrel"));
    // The program lives on in the tray with no window shown; it ends only by its own shutdown.
    QApplication::setQuitOnLastWindowClosed(false);
    InitUiResources();
    QApplication::setWindowIcon(ProgramIcon(kIconProgram));

    // A session end (SIGTERM, SIGINT, SIGHUP) is served from the start on, whatever modal
    // window is open: it closes them and the program shuts down as Exit does, without asking.
    // SIGUSR1 is a second start with the same settings file asking for the window.
    CMainDialog* mainWindow = nullptr;
    bool showRequested = false;
    std::unique_ptr<QSocketNotifier> signalNotifier;
    // Without the socket the signals keep their default action and end the program at once.
    if (const int signalFd = InstallSignalSocket(); signalFd >= 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&, signalFd] {
            const int c = ReadSignal(signalFd);
            if (c == 0)
                return;
            if (c == SIGUSR1) {
                if (mainWindow)
                    mainWindow->OnShowWindow();
                else
                    showRequested = true;
                return;
            }
            BeginSessionEnd();
            if (mainWindow)
                mainWindow->ShutDownWithoutAsking();
        });
    }

    // The process's own message boxes. It stays until the process ends: the dial-up manager it
    // is given may be kept by a worker left behind at shutdown.
    static MessageBoxPrompter prompter{QString::fromLatin1(kProductName)};
    std::string error;
    FixSettingsFile(tail, &error);
    if (!error.empty())
        prompter.message(error);
    if (SessionEnding())
        return 0;

    // One program per settings file: a second start shows the first one's window.
    SingleInstance instance(QString::fromStdString(SettingsFilePath()));
    if (!instance.Acquire()) {
        instance.AskHolderToShowItself();
        return 0;
    }

    auto dialUp = std::make_shared<CDialUpManager>(prompter);
    CaptureDriverList drivers;
    bool abandoned = false;
    {
        CMainDialog::Options options;
        options.dialUp = dialUp;
        options.drivers = &drivers;
        options.hub.runBeside = &RunBeside;
        CMainDialog dialog(std::move(options));
        QObject::connect(&dialog, &QDialog::finished, &app, &QCoreApplication::quit);
        mainWindow = &dialog;
        dialog.OnInitDialog();
        if (!SessionEnding()) {
            dialog.show();
            if (showRequested)
                dialog.OnShowWindow();
            app.exec();
        }
        abandoned = dialog.WorkerAbandoned();
        mainWindow = nullptr;
    }
    // A listing or a Test started from the sheet may still be talking to its server: it has a
    // moment to end, or the program leaves without it.
    if (!WaitForThreadWork(1000))
        abandoned = true;
    if (abandoned) {
        // The window and the hub are gone and the worker keeps what it uses; leave without the
        // library's static destructors, which it could still reach from its network call.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}

} // namespace vistrel
