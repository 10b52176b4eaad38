// updater: checks a PAD file for a newer release, then downloads and starts its setup program.
//   updater [-s] program.xml
#include "updater/UpdateCheck.h"
#include "updater/UpdaterDlg.h"
#include "updater/UpdaterVersion.h"
#include "widgets/DisplayCheck.h"
#include "widgets/MessageBoxPrompter.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
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
