#pragma once

#include "app/Schedule.h"
#include "capture/CaptureDrivers.h"
#include "capture/CaptureSession.h"
#include "config/LiveSettings.h"
#include "imaging/ComposeAndSave.h"
#include "platform/Prompter.h"
#include "upload/UploadThread.h"

#include <QObject>
#include <QTimer>

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vistrel {

class CDialUpManager;
class SettingsMigrationHost;

// What the hub shows through its host: the desktop window, or the headless publisher's log.
// Calls marked "hub thread" come on the thread that owns the hub; the others on the worker.
class HubHost {
  public:
    virtual ~HubHost() = default;
    // Hub thread: the status field shows text.
    virtual void StatusShown(const std::string& text) = 0;
    // Hub thread: the driver description field shows text.
    virtual void DriverInfoShown(const std::string&) {}
    // Hub thread: the Capture button is enabled (no cycle running) or disabled.
    virtual void CaptureEnabled(bool) {}
    // Hub thread: the tray tip and icon changed (only while the tray icon is in use).
    virtual void TrayChanged(const std::string&, int) {}
    // Hub thread: a cycle ended, after the hub's own reporting.
    virtual void CycleFinished(int, const std::string&) {}
    // Worker thread: the hang-up step's "Disconnecting...".
    virtual void SetStatusDirect(const std::string& text) = 0;
    // Worker thread: a Yes/No question; true = Yes.
    virtual bool AskYesNo(const std::string& question) = 0;
};

// Everything the worker thread shares with the hub. Held by shared pointer so that a worker
// abandoned at shutdown (blocked in a network call) never touches freed memory.
struct HubShared;

// The GUI-free centre of the program: owns the live settings, the worker and its events, the
// capture device, the capture schedule and the texts of the last cycle. The desktop window and
// the headless publisher both own one and show what it reports.
class Hub : public QObject {
    Q_OBJECT
  public:
    struct Dependencies {
        UploadThread::SessionFactory sessions; // FTP sessions for the worker
        std::function<std::time_t()> clock = [] { return std::time(nullptr); };
        ComposeEnvironment composeEnvironment;
        DialUpOps* dialUpOps = nullptr; // defaults to the dial-up manager passed in
    };

    Hub(HubHost& host, Prompter& prompter, SettingsMigrationHost& migration, CDialUpManager& dialUp,
        CaptureDriverList& drivers, Dependencies deps);
    ~Hub() override;

    // Start-up: loads every setting, the dial-up check, connects the capture driver, checks the
    // settings file's version, arms the timer, queues the start-up capture and starts the worker.
    // False when the worker could not be started ("Failed to start UploadThread!").
    // schedule = false leaves the timer and the start-up capture out (a single cycle by hand).
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
    // What applying the Capture page does after the page wrote its keys.
    void ApplyCapturePage();
    // Re-reads every section as applying every page would (the headless publisher's SIGHUP).
    void ReloadSettings();

    bool CycleRunning() const { return !m_bCaptureEnabled; }
    bool AutoCaptureDisabled() const;
    bool CaptureConnected() const { return m_bCaptureConnected; }
    std::string Status() const { return m_strStatus; }
    std::string LastCapture() const;
    std::string DriverInfo() const;
    LiveSettings Settings() const;
    // The period the capture timer is armed with (0 when not armed).
    std::uint32_t TimerPeriod() const { return m_timer.Period(); }
    int CurrentUpload() const;

  signals:
    // A cycle ended (after the hub reported it): result 1 success, 0 failure.
    void cycleDone(int result, const QString& lastCapture);

  private:
    friend struct HubShared;
    bool Trigger(bool automatic);
    bool ArmTimer();
    // After the schedule keys were read again: the counter reset and the re-arming of the
    // Capture page.
    void AfterScheduleRead();
    void ScheduleNextWake();
    void OnWake();
    bool ConnectCaptureDriver();
    void OnWorkerStatus(const std::string& text);
    void OnWorkerDone(int result, const std::string& lastCapture);
    void ShowTray(const std::string& tip, int icon);

    HubHost& m_host;
    Prompter& m_prompter;
    SettingsMigrationHost& m_migration;
    CDialUpManager& m_dialUp;
    Dependencies m_deps;
    std::shared_ptr<HubShared> m_shared;
    CaptureSession m_capture;
    std::thread m_worker;
    bool m_bCaptureConnected = false;
    bool m_bCaptureEnabled = true;
    std::string m_strStatus;
    LongPeriodTimer m_timer;
    QTimer m_wake;
};

} // namespace vistrel
