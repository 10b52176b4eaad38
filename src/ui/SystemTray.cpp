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
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
                    emit menuRequested();
            });
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
        m_icon.setIcon(ProgramIcon(m_nIcon));
        m_icon.setToolTip(m_strTip);
        m_icon.show();
    }
    return m_bShown;
}

void CSystemTray::HideIcon()
{
    if (m_bShown)
        m_icon.hide();
    m_bShown = false;
}

void CSystemTray::SetIcon(int icon)
{
    if (!m_bShown)
        return;
    m_nIcon = icon;
    m_icon.setIcon(ProgramIcon(icon));
}

bool CSystemTray::SetTooltipText(const QString& tip)
{
    if (!m_bShown || tip.size() > kMaxTipLength)
        return false;
    m_strTip = tip;
    m_icon.setToolTip(tip);
    return true;
}

} // namespace vistrel
