// updater: checks a PAD file for a newer release, then downloads and starts its setup program.
//   updater [-s] program.xml
#include "updater/UpdateCheck.h"
#include "updater/UpdaterDlg.h"
#include "updater/UpdaterVersion.h"
#include "widgets/DisplayCheck.h"
#include "widgets/MessageBoxPrompter.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // A helper of Vistrel: it says what it is without opening a window.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(
            "Usage: updater [-s] program.xml\n"
            "Checks the PAD file program.xml for a newer release of the program, shows what\n"
            "is new, then downloads and starts its setup program. -s: silent, say nothing\n"
            "when no newer release is found. A helper of Vistrel; needs a display.\n",
            stdout);
        return 0;
    }
    const std::string commandLine = vistrel::JoinArguments(argc, argv);
    std::string reason;
    if (!vistrel::DisplayAvailable(&reason)) {
        std::fputs(vistrel::NoDisplayMessage("updater", reason).c_str(), stderr);
        return 1;
    }
    // Qt sees only the program name: the updater's arguments are its own.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Updater"));
    QApplication::setApplicationVersion(
        QString::fromStdString(vistrel::UpdaterVersion().strProductVersion));
    QApplication::setOrganizationName(
        QString::fromStdString(vistrel::UpdaterVersion().strCompanyName));

    vistrel::MessageBoxPrompter prompter(QStringLiteral("Updater"));
    vistrel::CUpdaterDlg dialog(commandLine, prompter);
    if (dialog.OnInitDialog())
        dialog.exec();
    return 0;
}
