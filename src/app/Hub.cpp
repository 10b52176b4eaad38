#include "app/Hub.h"

#include "app/SettingsBridge.h"
#include "config/SettingsFile.h"
#include "config/SettingsMigration.h"
#include "dialup/CDialUpManager.h"
#include "ftp/LogOnTable.h"
#include "upload/Adapters.h"
#include "upload/ErrorLog.h"

#include <QMetaObject>

#include <chrono>

namespace vistrel {

namespace {

std::int64_t monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The capture device as the stamping pipeline uses it.
class DeviceGrabber : public FrameGrabber {
  public:
    explicit DeviceGrabber(std::shared_ptr<CaptureDevice> device) : m_device(std::move(device)) {}
    bool IsPreviewing() const override { return m_device->isPreviewing(); }
    bool SetPreview(bool on) override { return m_device->setPreview(on); }
    bool GrabFrame() override { return m_device->grabFrame(); }
    bool SaveFrame(const std::string& path) override { return m_device->saveFrame(path); }

  private:
    std::shared_ptr<CaptureDevice> m_device;
};

} // namespace

struct HubShared : UploadHost {
    WorkerEvents events;
    CycleRecord record;

    mutable std::mutex mutex; // guards live and device
    LiveSettings live;
    std::shared_ptr<CaptureDevice> device;

    std::mutex composeMutex; // one composition at a time
    ComposeEnvironment composeEnvironment;

    std::mutex bridgeMutex; // guards hub and host: cleared when the hub goes
    Hub* hub = nullptr;
    HubHost* host = nullptr;

    std::unique_ptr<DialUpAdapter> dialUpAdapter;
    std::unique_ptr<UploadThread> worker;

    UploadSettings Snapshot() const
    {
        std::lock_guard lock(mutex);
        return ToUploadSettings(live, LogonTypeForProxy(live.m_bUseFireWall, live.m_nFireWallType));
    }

    std::string Compose(const std::string& outPath, std::string* error)
    {
        ComposeSettings settings;
        std::shared_ptr<CaptureDevice> dev;
        {
            std::lock_guard lock(mutex);
            settings = ToComposeSettings(live);
            dev = device;
        }
        std::lock_guard lock(composeMutex);
        std::unique_ptr<DeviceGrabber> grabber;
        if (dev && dev->isConnected())
            grabber = std::make_unique<DeviceGrabber>(dev);
        const ComposeResult r =
            ComposeAndSave(outPath, settings, grabber.get(), composeEnvironment);
        if (r.stampText.empty())
            *error = r.error;
        return r.stampText;
    }

    // UploadHost: worker → hub, queued to the hub's thread with the text by value.
    void StatusChanged(const std::string& status) override
    {
        std::lock_guard lock(bridgeMutex);
        if (hub) {
            Hub* h = hub;
            QMetaObject::invokeMethod(
                h, [h, status] { h->OnWorkerStatus(status); }, Qt::QueuedConnection);
        }
    }
    void CycleDone(int result, const std::string& lastCapture) override
    {
        std::lock_guard lock(bridgeMutex);
        if (hub) {
            Hub* h = hub;
            QMetaObject::invokeMethod(
                h, [h, result, lastCapture] { h->OnWorkerDone(result, lastCapture); },
                Qt::QueuedConnection);
        }
    }
    void SetStatusDirect(const std::string& status) override
    {
        HubHost* h;
        {
            std::lock_guard lock(bridgeMutex);
            h = host;
        }
        if (h)
            h->SetStatusDirect(status);
    }
    bool AskYesNo(const std::string& question) override
    {
        HubHost* h;
        {
            std::lock_guard lock(bridgeMutex);
            h = host;
        }
        return h && h->AskYesNo(question);
    }
};

Hub::Hub(HubHost& host, Prompter& prompter, SettingsMigrationHost& migration,
         CDialUpManager& dialUp, CaptureDriverList& drivers, Dependencies deps)
    : m_host(host), m_prompter(prompter), m_migration(migration), m_dialUp(dialUp),
      m_deps(std::move(deps)), m_shared(std::make_shared<HubShared>()), m_capture(drivers, prompter)
{
    m_shared->hub = this;
    m_shared->host = &host;
    m_shared->composeEnvironment = m_deps.composeEnvironment;
    m_shared->composeEnvironment.quit = &m_shared->events.quit; // shutdown cuts the lead time
    if (!m_deps.sessions)
        m_deps.sessions = RealFtpSessions();
    DialUpOps* dialUpOps = m_deps.dialUpOps;
    if (!dialUpOps) {
        m_shared->dialUpAdapter = std::make_unique<DialUpAdapter>(dialUp);
        dialUpOps = m_shared->dialUpAdapter.get();
    }
    HubShared* shared = m_shared.get();
    m_shared->worker = std::make_unique<UploadThread>(
        shared->events, shared->record, *shared, [shared] { return shared->Snapshot(); },
        [shared](const std::string& out, std::string* error) {
            return shared->Compose(out, error);
        },
        m_deps.sessions, dialUpOps);
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &Hub::OnWake);
}

Hub::~Hub()
{
    {
        std::lock_guard lock(m_shared->bridgeMutex);
        m_shared->hub = nullptr;
        m_shared->host = nullptr;
    }
    if (m_worker.joinable()) {
        // Without a shutdown first the worker is still waiting: let it end by itself. Abandoned,
        // it keeps the shared state alive on its own.
        m_shared->events.quit.Set();
        m_shared->events.capture.Set();
        m_worker.detach();
    }
}

bool Hub::Startup(bool schedule)
{
    WorkerEvents& ev = m_shared->events;
    ev.idle.Set();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->live.LoadAll(ev.idle);
        ApplyDialUpAvailability(m_shared->live, m_dialUp.IsRasAvailable(), m_prompter);
        m_shared->record.SetCurrentUpload(m_shared->live.m_nCurrentUpload);
    }

    m_bCaptureConnected = ConnectCaptureDriver();

    LiveSettings live = Settings();
    CheckSettingsVersion(live, m_migration, m_prompter);
    {
        // The migration may have changed values (and the settings sheet may have written the
        // file): take them over.
        std::lock_guard lock(m_shared->mutex);
        m_shared->live = live;
    }

    if (schedule && live.m_nUploadInterval != 0 && m_bCaptureConnected && !ArmTimer())
        m_prompter.message("Unable to set timer.");
    if (schedule && live.m_bUploadOnStart && m_bCaptureConnected)
        QTimer::singleShot(0, this, &Hub::OnTimer);

    ev.idle.Set();
    try {
        std::shared_ptr<HubShared> shared = m_shared;
        m_worker = std::thread([shared] { shared->worker->Run(); });
    } catch (const std::exception&) {
        m_prompter.message("Failed to start UploadThread!");
        return false;
    }
    return true;
}

bool Hub::ConnectCaptureDriver()
{
    const bool connected = m_capture.ConnectCaptureDriver(ToCaptureSettings(Settings()));
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->device = connected ? m_capture.device() : nullptr;
    }
    m_host.DriverInfoShown(m_capture.driverInfo());
    return connected;
}

bool Hub::Shutdown()
{
    m_wake.stop();
    m_timer.Stop();
    m_host.DriverInfoShown("Disconnecting...");
    IniWriteInt("UploadOptions", "CurrentUpload", m_shared->record.CurrentUpload());
    if (!m_capture.DisconnectCaptureDriver())
        m_prompter.message("Failed to disconnect from capture driver!");
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->device.reset();
    }
    m_bCaptureConnected = false;

    WorkerEvents& ev = m_shared->events;
    ev.quit.Set();
    ev.capture.Set();
    const bool ended = ev.threadEnded.Wait(5000);
    if (ended) {
        ev.threadEnded.Set(); // it stays ended for anyone who looks
        if (m_worker.joinable())
            m_worker.join();
    }

    const LiveSettings live = Settings();
    if (live.m_bSaveAutoCaptureStatus)
        IniWriteInt("UploadOptions", "DisableUpload", live.m_bDisableUpload ? 1 : 0);
    return ended;
}

void Hub::OnTimer()
{
    const LiveSettings live = Settings();
    if (live.m_bDisableUpload)
        return;
    if (live.m_bUploadTimeRange) {
        const TimeWindow w{live.m_nUploadTimeRangeStartHour, live.m_nUploadTimeRangeStartMinute,
                           live.m_nUploadTimeRangeEndHour, live.m_nUploadTimeRangeEndMinute};
        if (!InTimeWindow(m_deps.clock(), w))
            return;
    }
    Trigger(true);
}

bool Hub::OnCaptureCommand()
{
    return Trigger(false);
}

bool Hub::Trigger(bool automatic)
{
    WorkerEvents& ev = m_shared->events;
    if (ev.threadEnded.Wait(0)) {
        ev.threadEnded.Set(); // looking must not make it forget that the worker ended
        m_prompter.message("ThreadProc Not Running!");
        return false;
    }
    if (!m_bCaptureEnabled)
        return false;
    if (!ev.idle.Wait(0))
        return false;
    // The request's origin belongs to this cycle: a tick that is dropped while a cycle started
    // by hand runs must not turn that cycle's failure report into a suppressed one.
    m_shared->record.SetAutoTriggered(automatic);
    m_bCaptureEnabled = false;
    m_host.CaptureEnabled(false);
    ShowTray("Capturing...", kIconCapturing);
    ev.idle.Reset();
    ev.quit.Reset();
    ev.threadEnded.Reset();
    ev.capture.Set();
    return true;
}

void Hub::ToggleAutoCapture()
{
    bool disabled;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->live.m_bDisableUpload = !m_shared->live.m_bDisableUpload;
        disabled = m_shared->live.m_bDisableUpload;
    }
    if (m_bCaptureEnabled) {
        const std::string last = LastCapture();
        m_strStatus = StatusText(last, disabled);
        m_host.StatusShown(m_strStatus);
        ShowTray(TrayTipText(last, disabled), TrayIconAfterToggle(disabled));
    }
}

void Hub::ApplyCapturePage()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->live.LoadSchedule();
    }
    AfterScheduleRead();
}

void Hub::AfterScheduleRead()
{
    // The counter restarts when it has reached the (new) archive interval.
    if (m_shared->record.CurrentUpload() >= Settings().m_nArchiveInterval)
        m_shared->record.SetCurrentUpload(0);
    m_wake.stop();
    m_timer.Stop();
    if (Settings().m_nUploadInterval != 0 && !ArmTimer())
        m_prompter.message("Unable to set timer.");
}

void Hub::ReloadSettings()
{
    int previousDevice;
    {
        std::lock_guard lock(m_shared->mutex);
        previousDevice = m_shared->live.m_nCaptureDevice;
        m_shared->live.LoadEverything(false);
    }
    if (Settings().m_nCaptureDevice != previousDevice) {
        m_capture.DisconnectCaptureDriver();
        m_bCaptureConnected = ConnectCaptureDriver();
    }
    AfterScheduleRead();
}

bool Hub::ArmTimer()
{
    const LiveSettings live = Settings();
    if (live.m_nUploadInterval < 0)
        return false;
    const std::uint32_t period =
        TimerPeriodMs(live.m_nUploadInterval, live.m_nUploadIntervalMeasure);
    if (period == 0)
        return false;
    m_timer.Arm(period, monotonicMs());
    ScheduleNextWake();
    return true;
}

void Hub::ScheduleNextWake()
{
    const std::int64_t slice = m_timer.NextSliceMs(monotonicMs());
    if (slice >= 0)
        m_wake.start(static_cast<int>(slice));
}

void Hub::OnWake()
{
    if (m_timer.OnWake(monotonicMs()))
        OnTimer();
    ScheduleNextWake();
}

void Hub::OnWorkerStatus(const std::string& text)
{
    m_strStatus = text;
    m_host.StatusShown(text);
    if (Settings().m_bHideWhenMinimized)
        m_host.TrayChanged(text, kIconCapturing);
}

void Hub::OnWorkerDone(int result, const std::string& lastCapture)
{
    const LiveSettings live = Settings();
    const bool disabled = live.m_bDisableUpload;
    m_strStatus = StatusText(lastCapture, disabled);
    m_host.StatusShown(m_strStatus);
    ShowTray(TrayTipText(lastCapture, disabled), TrayIconAfterCycle(result, disabled));
    if (result == 0) {
        if (!live.m_bSuppressErrors || !m_shared->record.AutoTriggered())
            m_prompter.message(lastCapture);
        if (live.m_bErrorLog)
            AppendErrorLog(live.m_strWorkingFolder, lastCapture, m_deps.clock());
    }
    m_bCaptureEnabled = true;
    m_host.CaptureEnabled(true);
    m_host.CycleFinished(result, lastCapture);
    emit cycleDone(result, QString::fromStdString(lastCapture));
}

void Hub::ShowTray(const std::string& tip, int icon)
{
    if (Settings().m_bHideWhenMinimized)
        m_host.TrayChanged(tip, icon);
}

bool Hub::AutoCaptureDisabled() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->live.m_bDisableUpload;
}

std::string Hub::LastCapture() const
{
    return m_shared->record.LastCapture();
}

std::string Hub::DriverInfo() const
{
    return m_capture.driverInfo();
}

LiveSettings Hub::Settings() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->live;
}

int Hub::CurrentUpload() const
{
    return m_shared->record.CurrentUpload();
}

} // namespace vistrel
