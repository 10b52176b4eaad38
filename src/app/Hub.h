#pragma once

#include "app/Schedule.h"
#include "capture/CaptureDrivers.h"
#include "capture/CaptureSession.h"
#include "config/LiveSettings.h"
#include "config/ReloadGroup.h"
#include "imaging/ComposeAndSave.h"
#include "platform/Prompter.h"
#include "upload/UploadThread.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vistrel {

class CDialUpManager;
class SettingsMigrationHost;

// Everything the worker thread shares with the hub. Held by shared pointer so that a worker
// abandoned at shutdown (blocked in a network call) never touches freed memory.
struct HubShared;

// The GUI-free centre of the program: owns the live settings, the worker and its events, the
// capture device, the capture schedule and the texts of the last cycle. The desktop window and
// the headless publisher both own one and show what it reports through its signals, which are
// all emitted on the hub's own thread.
//
// The worker never calls its owner directly: its status texts and results are queued to the
// hub's thread by value, and its Yes/No questions ("You are not connected…", "Would you like to
// disconnect?") are asked there through the hub's Prompter while the worker waits (see
// UploadHost::AskQuestionAndWait). Once Shutdown() has begun, or the hub is gone, questions are
// answered No without asking.
class Hub : public QObject {
    Q_OBJECT
  public:
    struct Dependencies {
        UploadThread::SessionFactory sessions; // FTP sessions for the worker
        std::function<std::time_t()> clock = [] { return std::time(nullptr); };
        ComposeEnvironment composeEnvironment;
        DialUpOps* dialUpOps = nullptr; // defaults to the dial-up manager passed in
        // Runs work that may wait on a camera or on the worker, returning when it is done (see
        // CaptureSession::Runner); null runs it in place.
        CaptureSession::Runner runBeside;
    };

    // prompter shows the hub's message boxes and the worker's questions, on the hub's thread.
    // dialUp is shared with the worker, which may outlive the hub when it is abandoned at
    // shutdown.
    Hub(Prompter& prompter, SettingsMigrationHost& migration,
        std::shared_ptr<CDialUpManager> dialUp, CaptureDriverList& drivers, Dependencies deps);
    ~Hub() override;

    // The main window's own initialisation: loads every setting and runs the dial-up check
    // (a machine without dial-up support switches to the LAN once, with a message).
    void LoadSettingsAtStart();
    // The deferred part of start-up: connects the capture driver, checks the settings file's
    // version (which may run the settings sheet), arms the timer, queues the start-up capture
    // and starts the worker. False when the worker could not be started ("Failed to start
    // UploadThread!"). schedule = false leaves the timer and the start-up capture out (a single
    // cycle by hand).
    bool StartRunning(bool schedule = true);
    // Both of the above, for a program without a window to show in between.
    bool Startup(bool schedule = true);

    // Orderly shutdown: saves the archive counter, disconnects the driver, stops the worker
    // (waiting at most 5000 ms) and saves the auto-capture state when asked to. True when the
    // worker ended; false when it had to be abandoned.
    bool Shutdown();

    // The timer's tick: automatic capture, within the time window.
    void OnTimer();
    // The Capture button or tray item: a cycle started by hand.
    // Returns whether a cycle was started.
    bool OnCaptureCommand();
    // Flips automatic capture on or off.
    void ToggleAutoCapture();

    // What a settings page's store step asks for after writing its keys: its reload group's
    // loader and its follow-ups (None: nothing). Capture resets the archive counter when it reached
    // the new interval and re-arms the timer ("Unable to set timer."); Device switches the preview,
    // reconnects the driver when another one was chosen and sets the preview rate; General reports
    // a change of "Hide when minimized" through trayInUseChanged().
    void ApplySettingsPage(ReloadGroup group);
    // The connected driver changed under its index (a network camera's address or password was
    // edited): the next Device apply connects it again even when the index stays.
    void RequestCaptureReconnect() { m_bReconnectPending = true; }
    // Re-reads every reload group as applying every page would (the headless publisher's SIGHUP).
    void ReloadSettings();

    // The View command in capture mode: composes a fresh picture into "pvvistrel.jpg" in the
    // program folder. It holds the worker's idle token while it runs (so no cycle starts in the
    // meantime) and shares the composition lock with the worker (so a cycle that is already
    // composing finishes first). Returns the picture's path, or an empty text with *error set to
    // the capture error.
    std::string ComposeViewPicture(std::string* error);
    // The file of the last cycle's picture, "~vistrel.jpg" in the program folder.
    std::string LastPicturePath() const;
    // Runs fn while no composition is writing a picture (it holds the composition lock), so a
    // picture file that fn reads is whole: the View command reads "~vistrel.jpg" this way while a
    // cycle may be writing it.
    void WhileNoComposition(const std::function<void()>& fn);

    // The capture device and its preview, for the window's preview and the Device page. Use on
    // the hub's thread.
    CaptureSession& Capture() { return m_capture; }
    CaptureDriverList& Drivers() { return m_drivers; }
    CDialUpManager& DialUp() { return *m_dialUp; }

    bool CycleRunning() const { return !m_bCaptureEnabled; }
    bool AutoCaptureDisabled() const;
    bool CaptureConnected() const { return m_bCaptureConnected; }
    std::string Status() const { return m_strStatus; }
    std::string LastCapture() const;
    // What the last cycle's failure found beyond LastCapture (why it could not connect), or empty.
    std::string LastCause() const;
    std::string DriverInfo() const;
    LiveSettings Settings() const;
    // The period the capture timer is armed with (0 when not armed).
    std::uint32_t TimerPeriod() const { return m_timer.Period(); }
    // Milliseconds until the capture timer's next tick, or -1 when it is not armed.
    std::int64_t MsUntilNextTick() const;
    int CurrentUpload() const;

  signals:
    // The status field shows text (a worker's progress, a cycle's result).
    void statusChanged(const QString& text);
    // The driver description field shows text.
    void driverInfoChanged(const QString& text);
    // A cycle started (the Capture button is disabled) or ended (enabled again).
    void cycleRunningChanged(bool running);
    // The tray tip and the tray icon (kIconNormal …) to show. Emitted only while the tray icon
    // is in use (Options/HideWhenMinimized).
    void trayTipChanged(const QString& tip);
    void trayIconChanged(int icon);
    // Options/HideWhenMinimized changed by the General page: the window adds or removes its tray
    // icon (and shows itself when the icon goes).
    void trayInUseChanged(bool inUse);
    // The capture device was connected, disconnected or changed its frame size: the preview
    // takes the device and its placement afresh.
    void captureDeviceChanged();
    // A cycle ended, after the hub reported it (message box, error log): result 1 success,
    // 0 failure.
    void cycleDone(int result, const QString& lastCapture);

  private:
    friend struct HubShared;
    bool Trigger(bool automatic);
    bool ArmTimer();
    // After the schedule keys were read again: the counter reset and the re-arming of the
    // Capture page.
    void AfterScheduleRead();
    void ApplyDevicePage(int previousDevice);
    void ScheduleNextWake();
    void OnWake();
    bool ConnectCaptureDriver();
    // Whether the driver the settings choose now is another one than the connected driver: its
    // position in the list, or what stands there (a network camera added before it shifts the
    // list, so the same position may name another driver).
    bool ChosenDriverChanged(int previousDevice);
    void ShowDriverInfo(const std::string& text);
    void ShowStatus(const std::string& text);
    void SetCycleRunning(bool running);
    void OnWorkerStatus(const std::string& text);
    void OnWorkerStatusNow(const std::string& text);
    void OnWorkerDone(int result, const std::string& lastCapture);
    void ShowTray(const std::string& tip, int icon);

    Prompter& m_prompter;
    SettingsMigrationHost& m_migration;
    std::shared_ptr<CDialUpManager> m_dialUp;
    CaptureDriverList& m_drivers;
    Dependencies m_deps;
    std::shared_ptr<HubShared> m_shared;
    CaptureSession m_capture;
    std::thread m_worker;
    bool m_bCaptureConnected = false;
    bool m_bCaptureEnabled = true;
    bool m_bReconnectPending = false;
    bool m_bShuttingDown = false; // no message box from a cycle that ends meanwhile
    bool m_bFailureShown = false; // a cycle's failure box is open
    // What the connected driver is (kind, name, node or address), taken when it was connected.
    std::optional<CaptureDriverEntry> m_connectedDriver;
    std::string m_strStatus;
    LongPeriodTimer m_timer;
    QTimer m_wake;
};

} // namespace vistrel
