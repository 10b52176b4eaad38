#include "ui/WindowUtils.h"

#include <QApplication>
#include <QWidget>

#include <mutex>

// Resources compiled into a static library are registered by hand (outside any namespace).
static void InitUiResourcesOnce()
{
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(help);
}

namespace vistrel {

void InitUiResources()
{
    static std::once_flag once;
    std::call_once(once, [] { InitUiResourcesOnce(); });
}

QIcon ProgramIcon(int number)
{
    InitUiResources();
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(number));
}

bool HiddenInTray(const QWidget* mainWindow)
{
    return mainWindow && !mainWindow->isVisible();
}

void PrepareDialogOfMainWindow(QWidget* dialog, QWidget* mainWindow)
{
    if (HiddenInTray(mainWindow)) {
        // A normal top-level window without an owner is what taskbars list.
        dialog->setParent(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                       Qt::WindowCloseButtonHint);
        dialog->setWindowModality(Qt::NonModal);
        dialog->setWindowIcon(ProgramIcon(kIconProgram));
    } else {
        dialog->setWindowModality(Qt::WindowModal);
    }
}

QWidget* FindTopLevelWindow(const QString& title)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title)
            return w;
    return nullptr;
}

bool BringWindowToFront(const QString& title)
{
    QWidget* w = FindTopLevelWindow(title);
    if (!w)
        return false;
    if (w->isMinimized())
        w->showNormal();
    w->raise();
    w->activateWindow();
    return true;
}

bool CloseTopLevelWindow(const QString& title)
{
    QWidget* w = FindTopLevelWindow(title);
    return w && w->close();
}

} // namespace vistrel
