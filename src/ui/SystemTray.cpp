#include "ui/SystemTray.h"

#include "ui/WindowUtils.h"

namespace vistrel {

CSystemTray::CSystemTray(std::function<bool()> trayAvailable, QObject* parent)
    : QObject(parent), m_trayAvailable(std::move(trayAvailable))
{
    if (!m_trayAvailable)
        m_trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Left and right clicks open the menu; double and middle clicks do nothing.
                // The tray shows a context menu of its own on a right click.
                if (reason == QSystemTrayIcon::Trigger ||
                    (reason == QSystemTrayIcon::Context && !m_bHasContextMenu))
                    emit menuRequested();
            });
    m_watch.setInterval(1000);
    connect(&m_watch, &QTimer::timeout, this, [this] {
        if (!m_trayAvailable())
            return;
        m_watch.stop();
        if (ShowIcon())
            emit iconShownLater();
    });
}

void CSystemTray::SetContextMenu(QMenu* menu)
{
    m_icon.setContextMenu(menu);
    m_bHasContextMenu = menu != nullptr;
}

CSystemTray::~CSystemTray()
{
    HideIcon();
}

void CSystemTray::Create(const QString& tip, int icon, int id)
{
    m_strTip = tip;
    m_nIcon = icon;
    m_nId = id;
    m_icon.setIcon(ProgramIcon(icon));
    m_icon.setToolTip(tip);
}

bool CSystemTray::ShowIcon()
{
    if (m_bShown)
        return true;
    m_bShown = m_trayAvailable();
    if (m_bShown) {
        m_watch.stop();
        m_icon.setIcon(ProgramIcon(m_nIcon));
        m_icon.setToolTip(m_strTip);
        m_icon.show();
    } else if (!m_watch.isActive()) {
        m_watch.start();
    }
    return m_bShown;
}

void CSystemTray::HideIcon()
{
    m_watch.stop();
    if (m_bShown)
        m_icon.hide();
    m_bShown = false;
}

void CSystemTray::SetIcon(int icon)
{
    if (!m_bShown && !m_watch.isActive())
        return;
    m_nIcon = icon; // kept for a tray that is still awaited
    if (m_bShown)
        m_icon.setIcon(ProgramIcon(icon));
}

bool CSystemTray::SetTooltipText(const QString& tip)
{
    if (!m_bShown && !m_watch.isActive())
        return false;
    QString shown = tip;
    if (shown.size() > kMaxTipLength)
        shown = shown.left(kMaxTipLength - 3).trimmed() + QStringLiteral("...");
    m_strTip = shown;
    if (m_bShown)
        m_icon.setToolTip(shown);
    return m_bShown;
}

} // namespace vistrel
