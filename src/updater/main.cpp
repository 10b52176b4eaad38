// updater: checks a PAD file for a newer release, then downloads and starts its setup program.
//   updater [-s] program.xml
#include "updater/MessageBoxPrompter.h"
#include "updater/UpdateCheck.h"
#include "updater/UpdaterDlg.h"
#include "updater/UpdaterVersion.h"

#include <QApplication>

int main(int argc, char** argv)
{
    const std::string commandLine = vistrel::JoinArguments(argc, argv);
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
