// leavenote: the uninstall survey, started by the uninstaller as
//   leavenote /title PRODUCT /url ADDRESS
#include "survey/SurveyCommandLine.h"
#include "survey/SurveyDlg.h"

#include "widgets/DisplayCheck.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // A helper of Vistrel: it says what it is without opening a window.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(
            "Usage: leavenote /title PRODUCT /url ADDRESS\n"
            "Asks whether the user will say why PRODUCT is being removed, and opens ADDRESS\n"
            "in the web browser on Yes. Started by the uninstaller; a helper of Vistrel;\n"
            "needs a display.\n",
            stdout);
        return 0;
    }
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
