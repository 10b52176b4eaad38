#pragma once

#include "app/Hub.h"
#include "config/SettingsMigration.h"
#include "ui/SystemTray.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;

namespace vistrel {

class CaptureDriverList;
class CDialUpManager;
class CPreviewWidget;
class Prompter;

// The main window: the live preview, the capture driver's description, the status of the upload
// cycle, six buttons, and the tray icon with its menu. It shows what the hub reports and hands
// the user's commands to the hub, which decides what they do (the settings file's version
// marker, which picture View shows, what the driver field says); the window decides only how
// texts fit their fields and which of its own windows are open.
class CMainDialog : public QDialog, public SettingsMigrationHost {
    Q_OBJECT
  public:
    // Command ids of the buttons and menus.
    enum Command : int {
        kIdExit = 2,
        kIdSettings = 1005,
        kIdCapture = 1017,
        kIdAbout = 1027,
        kIdView = 1044,
        kIdHelp = 1069,
        kIdShowWindow = 32771,
        kIdAutoCapture = 32781,
    };
    static constexpr int kTrayIconId = 1170;
    static constexpr const char* kQuitQuestion =
        "An image upload is in progress! Are you sure you want to quit?";

    struct Options {
        Prompter* prompter = nullptr; // null: the window's own message boxes
        std::shared_ptr<CDialUpManager> dialUp;
        CaptureDriverList* drivers = nullptr;
        Hub::Dependencies hub;
        std::function<bool()> trayAvailable; // null: whether the desktop has a tray
        // Runs a settings sheet modally and returns whether it ended with OK (for tests; null:
        // the program's own).
        std::function<bool(QWidget* mainWindow)> settingsSheet;
    };

    explicit CMainDialog(Options options);
    ~CMainDialog() override;

    // The window's own initialisation: loads the settings (the dial-up check included) and
    // queues the deferred start-up, which runs once the window is on screen.
    void OnInitDialog();
    // True once the deferred start-up has run and the worker is going.
    bool IsRunning() const { return m_bRunning; }

    // Commands of the buttons and menus.
    void OnCapture();
    void OnSettings();
    void OnView();
    void OnAbout();
    void OnHelp();
    void OnShowWindow();
    void OnToggleAutoCapture();
    // Shutdown (Exit, Escape, the close box, the tray's Exit). Returns false when the user chose
    // to keep running.
    bool OnCancel();
    // The same shutdown without the question about a running upload: the session is ending
    // (SIGTERM, SIGINT or SIGHUP from the desktop or a terminal), and nobody can answer.
    void ShutDownWithoutAsking();
    // Whether the worker had to be left behind at shutdown (it was stuck past its time).
    bool WorkerAbandoned() const { return m_bWorkerAbandoned; }

    Hub& hub() { return *m_hub; }
    CSystemTray& tray() { return m_tray; }
    QMenu* trayMenu() const { return m_pTrayMenu; }
    QMenu* windowMenu() const { return m_pWindowMenu; }
    // The action of a tray-menu command.
    QAction* trayAction(int id) const;
    QPushButton* button(int id) const;
    QLabel* driverField() const { return m_pDriverField; }
    QLabel* statusField() const { return m_pStatusField; }
    QFrame* previewFrame() const { return m_pPreviewFrame; }
    CPreviewWidget* preview() const { return m_pPreview; }
    // Brings the tray menu's checks and greying up to date (done before it opens).
    void UpdateTrayMenu();

    // SettingsMigrationHost: the version check's help topic, settings sheet and redraw.
    void OpenHelpTopic(int context) override;
    bool RunSettingsSheet() override;
    void Redraw() override;

  signals:
    // The deferred start-up is done (the worker runs).
    void startedRunning();

  protected:
    void reject() override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void CreateControls();
    void CreateMenus();
    void ConnectHub();
    void OnDeferredInit();
    // Runs the settings sheet modally; true when it ended with OK. The one place that knows
    // which sheet the program has. storeEveryPage: OK stores the pages not shown too.
    bool ExecSettingsSheet(bool storeEveryPage);
    // One window of a kind at a time: when the command's window is open already (its button is
    // disabled), brings it to the front and returns false; otherwise disables the button until
    // the window closes.
    bool OpenOneWindow(int id, const char* title);
    void OnTrayMenuRequested();
    void OnCaptureDeviceChanged();
    void SetDriverField(const QString& text);
    void SetStatusField(const QString& text);
    // Once at start: what the settings file holds that the program cannot use as written (unknown
    // names, values that do not read as their type says) goes to the status line, the whole list
    // to its tooltip, until the next status replaces it.
    void ShowSettingsWarnings();
    void OnTrayInUseChanged(bool inUse);
    // Whether an exit must wait for a window's own loop (or work beside the window) to return.
    bool MustCloseWindowsFirst() const;

    Options m_options;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter* m_pPrompter = nullptr;
    std::unique_ptr<Hub> m_hub;
    CSystemTray m_tray;

    QFrame* m_pPreviewFrame = nullptr;
    CPreviewWidget* m_pPreview = nullptr;
    QLabel* m_pDriverField = nullptr;
    QLabel* m_pStatusField = nullptr;
    std::map<int, QPushButton*> m_buttons;
    QMenu* m_pTrayMenu = nullptr;
    QMenu* m_pWindowMenu = nullptr;
    QAction* m_pWindowAutoCapture = nullptr;
    std::map<int, QAction*> m_trayActions;

    bool m_bStarting = false;
    bool m_bRunning = false;
    bool m_bExitRequested = false;
    bool m_bShuttingDown = false;
    bool m_bNoQuestionAtExit = false;
    bool m_bWorkerAbandoned = false;
    bool m_bSheetOpen = false;
    // An exit asked for while the sheet or other work was open: tried again until it can run.
    QTimer m_exitRetry;
};

} // namespace vistrel
