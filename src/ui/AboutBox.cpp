#include "ui/AboutBox.h"

#include "ui/DialogUnits.h"
#include "ui/HelpWindow.h"
#include "ui/HyperLink.h"
#include "ui/WindowUtils.h"
#include "vistrel/Version.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace vistrel {

void CentreOverMainWindow(QWidget* window, const QWidget* mainWindow)
{
    QRect area;
    if (mainWindow && mainWindow->isVisible() && !mainWindow->isMinimized())
        area = mainWindow->frameGeometry();
    else if (const QScreen* screen = window->screen())
        area = screen->availableGeometry();
    if (area.isValid())
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

CAboutBox::CAboutBox(QWidget* mainWindow) : QDialog(mainWindow)
{
    setWindowTitle(QStringLiteral("About %1").arg(QLatin1String(kProductName)));
    const DialogBaseUnits units = BaseUnitsOf(font());
    auto place = [&](QWidget* w, int x, int y, int cx, int cy) {
        w->setGeometry(DialogUnitsToPixels(units, x, y, cx, cy));
    };
    setFixedSize(DialogUnitsToPixels(units, 0, 0, 257, 76).size());

    auto* picture = new QLabel(this);
    place(picture, 8, 8, 24, 24);
    const int side = std::min(picture->width(), picture->height());
    picture->setPixmap(ProgramIcon(kIconProgram).pixmap(side, side));

    m_pProduct = new QLabel(QLatin1String(kProductName), this);
    place(m_pProduct, 42, 8, 150, 9);
    m_pVersion = new QLabel(QStringLiteral("Version %1").arg(QLatin1String(kVersionString)), this);
    place(m_pVersion, 42, 18, 150, 9);
    m_pCopyright = new QLabel(
        QStringLiteral("%1  %2").arg(QLatin1String(kLegalCopyright), QLatin1String(kCompanyName)),
        this);
    place(m_pCopyright, 42, 28, 150, 9);
    auto* rights = new QLabel(QStringLiteral("All Rights Reserved"), this);
    place(rights, 42, 38, 150, 9);

    const QString email = QLatin1String(kMakerEmail);
    const QString web = QLatin1String(kMakerWebHost);
    m_pEmail = new CHyperLink(email, QStringLiteral("mailto:") + email, this);
    place(m_pEmail, 42, 51, 150, 9);
    m_pWeb = new CHyperLink(web, QStringLiteral("http://") + web, this);
    place(m_pWeb, 42, 62, 150, 9);
    // Both links stay blue whatever has happened to them.
    CHyperLink::SetLinkColour(CHyperLink::kDefaultLinkColour);
    m_pEmail->Attach();
    m_pWeb->Attach();

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    place(ok, 200, 7, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // The box opens with the focus on OK: Space and Enter close it, Tab reaches the links.
    setFocusProxy(ok);
    ok->setFocus(Qt::OtherFocusReason);
    AddHelpShortcut(this, kHelpMainWindow);

    PrepareDialogOfMainWindow(this, mainWindow);
    CentreOverMainWindow(this, mainWindow);
}

QString CAboutBox::ProductText() const
{
    return m_pProduct->text();
}

QString CAboutBox::VersionText() const
{
    return m_pVersion->text();
}

QString CAboutBox::CopyrightText() const
{
    return m_pCopyright->text();
}

} // namespace vistrel
