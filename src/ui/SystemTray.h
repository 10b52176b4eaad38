#pragma once

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>

class QMenu;

namespace vistrel {

// The program's icon in the desktop's notification area (the tray). It keeps the icon's record
// (tip, picture, id) and a shown flag; while the icon is not shown every change is ignored, so a
// desktop without a tray simply never shows it. A left or right click asks for the tray menu.
class CSystemTray : public QObject {
    Q_OBJECT
  public:
    // The longest tip the tray takes; a longer one is shortened to fit, ending in "...".
    static constexpr int kMaxTipLength = 63;

    // trayAvailable says whether the desktop has a tray (by default, Qt's view of it).
    explicit CSystemTray(std::function<bool()> trayAvailable = {}, QObject* parent = nullptr);
    ~CSystemTray() override;

    // Fills the record: tip, picture (an icon number, see ProgramIcon) and id. Does not show the
    // icon.
    void Create(const QString& tip, int icon, int id);
    // The menu the tray shows for the icon (desktops with a StatusNotifierItem host show only
    // this one); a left click still asks for it through menuRequested().
    void SetContextMenu(QMenu* menu);
    // Puts the icon into the tray; the shown flag takes the result (false without a tray). When
    // there is no tray yet (it starts after the program, as at login), it is watched for and the
    // icon put there once it appears, unless HideIcon() came first.
    bool ShowIcon();
    // Takes the icon out of the tray.
    void HideIcon();
    // Changes the picture, when shown.
    void SetIcon(int icon);
    // Changes the tip, when shown; a text longer than kMaxTipLength characters is shortened.
    // Returns whether the tip changed.
    bool SetTooltipText(const QString& tip);

    bool IsShown() const { return m_bShown; }
    QString TooltipText() const { return m_strTip; }
    int Icon() const { return m_nIcon; }
    int Id() const { return m_nId; }
    // The Qt tray icon behind it.
    QSystemTrayIcon& TrayIcon() { return m_icon; }

  signals:
    // The user clicked the icon with the left or the right button: show the tray menu.
    void menuRequested();
    // The icon was put into a tray that appeared after ShowIcon() found none.
    void iconShownLater();

  private:
    std::function<bool()> m_trayAvailable;
    QSystemTrayIcon m_icon;
    QString m_strTip;
    int m_nIcon = 0;
    int m_nId = 0;
    bool m_bShown = false;
    bool m_bHasContextMenu = false;
    QTimer m_watch; // looks for a tray that is not there yet
};

} // namespace vistrel
