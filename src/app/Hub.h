#pragma once

#include "app/Schedule.h"
#include "capture/CaptureDrivers.h"
#include "capture/CaptureSession.h"
#include "config/LiveSettings.h"
#include "config/NetworkCameraSettings.h"
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
#include <utility>
#include <vector>

namespace vistrel {

class CDialUpManager;
class SettingsMigrationHost;

// What a window shows of the capture device, as the hub reports it.
struct CaptureView {
    // The connected device, for the preview and the camera's own Format and Source dialogs;
    // null when none is connected.
    std::shared_ptr<CaptureDevice> device;
    // The frame size the preview is placed by (taken at the connect and after a format change).
    FrameSize previewSize;
    // The driver field: "<name>\n<w> x <h>, <bits> bit color" while connected, else "No capture
    // device connected" with the device's last error on a second line when it has one.
    std::string driverText;
    // Which of the camera's dialogs exist (none without a device).
    CaptureCapabilities capabilities;
};

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
        // Milliseconds of a monotonic clock, which the capture timer's deadlines are counted
        // in; null is the steady clock.
        std::function<std::int64_t()> monotonicMs;
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
    // The capture timer looks at its deadline now instead of at its next wake-up: a tick is
    // due when the monotonic clock (Dependencies::monotonicMs) reached it. For a clock that is
    // moved on by hand.
    void CheckTimerNow();
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
    // The settings sheet closed (accepted: with OK): an accepted sheet writes the settings
    // file's version marker, and either way the driver information is read afresh and shown.
    void SettingsSheetClosed(bool accepted);
    // Re-reads every reload group as applying every page would (the headless publisher's SIGHUP).
    void ReloadSettings();

    // The View command in capture mode: composes a fresh picture into "pvvistrel.jpg" in the
    // program folder. It holds the worker's idle token while it runs (so no cycle starts in the
    // meantime) and shares the composition lock with the worker (so a cycle that is already
    // composing finishes first). Returns the picture's path, or an empty text with *error set to
    // the capture error.
    std::string ComposeViewPicture(std::string* error);
    // The picture the View command shows (Options/ViewDisplaysLastUploadImage): the last
    // cycle's, or a fresh one composed beside the window's thread (see Dependencies::runBeside).
    // Returns its path, or an empty text with *error set.
    std::string ViewPicture(std::string* error);
    // The file of the last cycle's picture, "~vistrel.jpg" in the program folder.
    std::string LastPicturePath() const;
    // Runs fn while no composition is writing a picture (it holds the composition lock), so a
    // picture file that fn reads is whole: the View command reads "~vistrel.jpg" this way while a
    // cycle may be writing it.
    void WhileNoComposition(const std::function<void()>& fn);

    // The capture device as the windows show it. Use on the hub's thread, as every call below.
    CaptureView ShownCapture() const;
    // The drivers as the Device page lists them with its (not yet stored) network cameras, at
    // most kMaxCaptureDrivers.
    std::vector<CaptureDriverEntry> DriversWith(const std::vector<NetworkCameraKeys>& cameras);
    // Stores the network cameras a page shows: every slot that differs from the settings is
    // written or removed. When the connected driver is one of the changed cameras, the next
    // Device apply connects it again even when its place in the list stays. False with *error
    // when a camera could not be written.
    bool StoreNetworkCameras(const std::vector<NetworkCameraKeys>& cameras, std::string* error);

    // The Device page's hold on the video format: KeepCaptureFormat keeps the connected
    // device's format (for Cancel); StoreCaptureFormat keeps the format in use and writes it as
    // the stored format (false when writing failed; nothing is written without a device);
    // RestoreCaptureFormat puts the kept format back on the device it was kept from, beside the
    // window's thread, when it differs; CaptureFormatChanged re-reads the frame size the preview
    // is placed by after the Format dialog changed it. The last two report captureDeviceChanged.
    void KeepCaptureFormat();
    // Sets format on the connected device beside the window's thread (the Format dialog's OK);
    // false when there is no device or it refused (its lastError() says why).
    bool SetCaptureFormat(const ImageFormat& format);
    // The connected device's frame sizes and pixel formats (the Format dialog's), read beside
    // the window's thread: a camera that stopped answering never freezes the window. Empty
    // without a device.
    FormatOffer CaptureFormatOffer();
    bool StoreCaptureFormat();
    // The connected device's own controls (the Source dialog's), read beside the window's
    // thread; none without a device.
    std::vector<CaptureControl> CaptureControls();
    // Sets each (control id, value) on the connected device in order, beside the window's
    // thread, and returns for each what went wrong: the device's lastError() when it refused,
    // empty when it was set ("No capture device connected" for all without a device).
    std::vector<std::string>
    SetCaptureControls(const std::vector<std::pair<std::uint32_t, std::int32_t>>& values);
    void RestoreCaptureFormat();
    void CaptureFormatChanged();
    // One frame of the camera for the stamp dialogs' sample (see CaptureSession::GrabSampleFrame).
    std::string GrabSampleFrame();

    // Dial-up for the Connection page: whether a provider is there, the phone book's entry
    // names, and the log-in data an entry stores (false after the manager said why it failed).
    bool DialUpAvailable() const;
    std::vector<std::string> PhoneBook();
    bool PhoneBookEntry(const std::string& name, std::string& userName, std::string& password,
                        std::string& phoneNumber);

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
    // The preview takes the device's frame size afresh and is told so.
    void PlacePreview();
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
    // The format the Device page's Cancel puts back, and the device it was kept from.
    std::shared_ptr<CaptureDevice> m_keptDevice;
    ImageFormat m_keptFormat;
    std::string m_strStatus;
    LongPeriodTimer m_timer;
    QTimer m_wake;
};

} // namespace vistrel
