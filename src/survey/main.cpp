// leavenote: the uninstall survey, started by the uninstaller as
//   leavenote /title PRODUCT /url ADDRESS
#include "survey/SurveyCommandLine.h"
#include "survey/SurveyDlg.h"

#include "widgets/DisplayCheck.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    vistrel::CSurveyCommandLine commandLine;
    commandLine.Parse(argc, argv);
    // Without a title there is nothing to ask about: end without showing anything (and without
    // needing a display).
    if (commandLine.GetTitle().empty())
        return 0;

    std::string reason;
    if (!vistrel::DisplayAvailable(&reason)) {
        std::fputs(vistrel::NoDisplayMessage("leavenote", reason).c_str(), stderr);
        return 1;
    }

    // Qt sees only the program name, so none of the survey's arguments is taken as a Qt option.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Uninstall Survey"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setOrganizationName(QStringLiteral("Tessel Software"));

    vistrel::CSurveyDlg dialog(QString::fromLocal8Bit(commandLine.GetAddress()),
                               QString::fromLocal8Bit(commandLine.GetTitle()),
                               vistrel::OpenAddressWithDesktop);
    dialog.exec();
    return 0;
}
