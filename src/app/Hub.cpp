#include "app/Hub.h"

#include "app/SettingsBridge.h"
#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "config/SettingsMigration.h"
#include "dialup/CDialUpManager.h"
#include "platform/ReplaceFile.h"
#include "upload/Adapters.h"
#include "upload/Archive.h"
#include "upload/ErrorLog.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>

namespace vistrel {

namespace {

VideoFormatSettings ToVideoFormatSettings(const ImageFormat& format)
{
    const auto v = ImageFormatValues(format);
    auto at = [&v](std::size_t i) { return static_cast<int>(v[i]); };
    return {at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7), at(8), at(9), at(10)};
}

// The capture device as the stamping pipeline uses it.
class DeviceGrabber : public FrameGrabber {
  public:
    explicit DeviceGrabber(std::shared_ptr<CaptureDevice> device) : m_device(std::move(device)) {}
    bool IsPreviewing() const override { return m_device->isPreviewing(); }
    bool SetPreview(bool on) override { return m_device->setPreview(on); }
    bool GrabFrame() override
    {
        if (m_device->grabFrame())
            return true;
        m_strGrabError = m_device->lastError();
        return false;
    }
    bool SaveFrame(const std::string& path) override { return m_device->saveFrame(path); }
    bool TakeFrame(RgbImage& frame, unsigned& width, unsigned& height) override
    {
        if (!m_device->isConnected())
            return false; // SaveFrame then says why
        const RgbFrame grabbed = m_device->frame();
        if (grabbed.empty() ||
            grabbed.rgb.size() != static_cast<std::size_t>(grabbed.width) * grabbed.height * 3u)
            return false;
        frame = RgbImage::allocate(grabbed.rgb.size());
        if (!frame)
            return false;
        std::memcpy(frame.data(), grabbed.rgb.data(), grabbed.rgb.size());
        width = static_cast<unsigned>(grabbed.width);
        height = static_cast<unsigned>(grabbed.height);
        return true;
    }
    // Why the grab failed (a network camera names its host and the cause), or empty.
    const std::string& GrabError() const { return m_strGrabError; }

  private:
    std::shared_ptr<CaptureDevice> m_device;
    std::string m_strGrabError;
};

} // namespace

struct HubShared : UploadHost {
    WorkerEvents events;
    CycleRecord record;

    mutable std::mutex mutex; // guards live and device
    LiveSettings live;
    std::shared_ptr<CaptureDevice> device;
    std::string missingDriver; // the chosen driver that was not there at the last connect

    std::mutex composeMutex; // one composition at a time
    ComposeEnvironment composeEnvironment;

    // Guards hub, which the hub clears when it goes, and the questions below.
    std::mutex bridgeMutex;
    std::condition_variable answered;
    Hub* hub = nullptr;
    bool noMoreQuestions = false; // set at shutdown: every question is answered No

    // The worker can reach the dial-up manager until it ends, even when abandoned.
    std::shared_ptr<CDialUpManager> dialUp;
    std::unique_ptr<DialUpAdapter> dialUpAdapter;
    std::unique_ptr<UploadThread> worker;

    UploadSettings Snapshot() const
    {
        std::lock_guard lock(mutex);
        return ToUploadSettings(live);
    }

    std::string Compose(const std::string& outPath, std::string* error)
    {
        ComposeSettings settings;
        std::shared_ptr<CaptureDevice> dev;
        std::string missing;
        {
            std::lock_guard lock(mutex);
            settings = ToComposeSettings(live);
            dev = device;
            missing = missingDriver;
        }
        std::lock_guard lock(composeMutex);
        std::unique_ptr<DeviceGrabber> grabber;
        if (dev && dev->isConnected())
            grabber = std::make_unique<DeviceGrabber>(dev);
        const ComposeResult r =
            ComposeAndSave(outPath, settings, grabber.get(), composeEnvironment);
        if (r.stampText.empty()) {
            *error = r.error;
            if (grabber && !grabber->GrabError().empty())
                *error += "\n" + grabber->GrabError();
            else if (!grabber && !missing.empty())
                *error += "\nthe chosen camera " + missing + " is not there";
        }
        return r.stampText;
    }

    // Queues fn to the hub's thread; dropped when the hub is gone.
    template <typename Fn> void ToHub(Fn fn)
    {
        std::lock_guard lock(bridgeMutex);
        if (hub) {
            Hub* h = hub;
            QMetaObject::invokeMethod(
                h, [h, fn] { fn(h); }, Qt::QueuedConnection);
        }
    }

    void EndQuestions()
    {
        {
            std::lock_guard lock(bridgeMutex);
            noMoreQuestions = true;
        }
        answered.notify_all();
    }

    // UploadHost: worker → hub, queued to the hub's thread with the text by value.
    void StatusChanged(const std::string& status) override
    {
        ToHub([status](Hub* h) { h->OnWorkerStatus(status); });
    }
    void CycleDone(int result, const std::string& lastCapture) override
    {
        ToHub([result, lastCapture](Hub* h) { h->OnWorkerDone(result, lastCapture); });
    }
    void ShowStatusNow(const std::string& status) override
    {
        ToHub([status](Hub* h) { h->OnWorkerStatusNow(status); });
    }
    bool AskQuestionAndWait(const std::string& question) override
    {
        // The answer lives in a block of its own: a question queued to a hub that goes before
        // it runs is dropped with its lambda, and the worker is released by EndQuestions().
        struct Answer {
            bool done = false;
            bool yes = false;
        };
        auto answer = std::make_shared<Answer>();
        std::unique_lock lock(bridgeMutex);
        if (!hub || noMoreQuestions)
            return false;
        Hub* h = hub;
        QMetaObject::invokeMethod(
            h,
            [this, h, answer, question] {
                {
                    std::lock_guard guard(bridgeMutex);
                    if (noMoreQuestions)
                        return;
                }
                const bool yes = h->m_prompter.askYesNo(question);
                {
                    std::lock_guard guard(bridgeMutex);
                    answer->yes = yes;
                    answer->done = true;
                }
                answered.notify_all();
            },
            Qt::QueuedConnection);
        answered.wait(lock, [&] { return answer->done || noMoreQuestions; });
        return answer->done && answer->yes;
    }
};

Hub::Hub(Prompter& prompter, SettingsMigrationHost& migration,
         std::shared_ptr<CDialUpManager> dialUp, CaptureDriverList& drivers, Dependencies deps)
    : m_prompter(prompter), m_migration(migration), m_dialUp(std::move(dialUp)), m_drivers(drivers),
      m_deps(std::move(deps)), m_shared(std::make_shared<HubShared>()), m_capture(drivers, prompter)
{
    m_shared->hub = this;
    UseNetworkCamerasFromSettings(m_drivers);
    m_shared->composeEnvironment = m_deps.composeEnvironment;
    m_shared->composeEnvironment.quit = &m_shared->events.quit; // shutdown cuts the lead time
    m_shared->dialUp = m_dialUp;
    if (!m_deps.sessions)
        m_deps.sessions = RealFtpSessions();
    if (!m_deps.monotonicMs)
        m_deps.monotonicMs = [] {
            using namespace std::chrono;
            return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        };
    DialUpOps* dialUpOps = m_deps.dialUpOps;
    if (!dialUpOps) {
        m_shared->dialUpAdapter = std::make_unique<DialUpAdapter>(*m_shared->dialUp);
        dialUpOps = m_shared->dialUpAdapter.get();
    }
    HubShared* shared = m_shared.get();
    m_shared->worker = std::make_unique<UploadThread>(
        shared->events, shared->record, *shared, [shared] { return shared->Snapshot(); },
        [shared](const std::string& out, std::string* error) {
            return shared->Compose(out, error);
        },
        m_deps.sessions, dialUpOps);
    m_capture.setRunner(m_deps.runBeside);
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &Hub::OnWake);
}

Hub::~Hub()
{
    {
        std::lock_guard lock(m_shared->bridgeMutex);
        m_shared->hub = nullptr;
    }
    m_shared->EndQuestions();
    if (m_worker.joinable()) {
        // Without a shutdown first the worker is still waiting: let it end by itself. Abandoned,
        // it keeps the shared state (and the dial-up manager) alive on its own.
        m_shared->events.quit.Set();
        m_shared->events.capture.Set();
        m_worker.detach();
    }
}

void Hub::LoadSettingsAtStart()
{
    WorkerEvents& ev = m_shared->events;
    ev.idle.Set();
    std::lock_guard lock(m_shared->mutex);
    m_shared->live.LoadAll(ev.idle);
    ApplyDialUpAvailability(m_shared->live, m_dialUp->IsRasAvailable(), m_prompter);
    m_shared->record.SetCurrentUpload(m_shared->live.m_nCurrentUpload);
}

bool Hub::Startup(bool schedule)
{
    LoadSettingsAtStart();
    return StartRunning(schedule);
}

namespace {

// The values the version check converts. The check works on a copy of the live settings, and
// the first-start settings sheet it may run applies its pages to the hub's live copy meanwhile:
// only what the check itself changed is taken over, so nothing the sheet applied is lost.
void TakeMigratedValues(const LiveSettings& before, const LiveSettings& after, LiveSettings& live)
{
    if (after.m_nTimeAlignment != before.m_nTimeAlignment)
        live.m_nTimeAlignment = after.m_nTimeAlignment;
    if (after.m_nDateTimeFormat != before.m_nDateTimeFormat)
        live.m_nDateTimeFormat = after.m_nDateTimeFormat;
    if (after.m_strPassword != before.m_strPassword)
        live.m_strPassword = after.m_strPassword;
    if (after.m_strFTPPassword != before.m_strFTPPassword)
        live.m_strFTPPassword = after.m_strFTPPassword;
}

// The pictures' temporary files that a process killed between a write and its rename left
// beside them: the cycle's picture, the preview, the local copy and its archive slots.
void RemoveLeftoverPictures(const LiveSettings& live)
{
    // A file changed in the last minute may be another instance's write under way.
    constexpr int kQuietSeconds = 60;
    const std::string& folder = live.m_strWorkingFolder;
    for (const char* name : {"~vistrel.jpg", "pvvistrel.jpg"})
        RemoveAbandonedReplacements(folder + name, kQuietSeconds);
    if (!live.m_bSaveAsFile || live.m_strSaveAsFilename.empty())
        return;
    RemoveAbandonedReplacements(live.m_strSaveAsFilename, kQuietSeconds);
    for (int k = 1; k <= std::min(live.m_nNumberOfArchives, 1000); ++k)
        RemoveAbandonedReplacements(LocalSlotName(live.m_strSaveAsFilename, k), kQuietSeconds);
}

} // namespace

bool Hub::StartRunning(bool schedule)
{
    WorkerEvents& ev = m_shared->events;
    RemoveLeftoverPictures(Settings());
    m_bCaptureConnected = ConnectCaptureDriver();

    const LiveSettings before = Settings();
    LiveSettings checked = before;
    CheckSettingsVersion(checked, m_migration, m_prompter);
    {
        std::lock_guard lock(m_shared->mutex);
        TakeMigratedValues(before, checked, m_shared->live);
    }

    const LiveSettings live = Settings();
    if (schedule && live.m_nUploadInterval != 0 && m_bCaptureConnected && !ArmTimer())
        m_prompter.message("Unable to set timer.");
    if (schedule && live.m_bUploadOnStart && m_bCaptureConnected)
        QTimer::singleShot(0, this, &Hub::OnTimer);

    // Automatic capture off from the start shows the paused state, as switching it off does.
    if (live.m_bDisableUpload) {
        const std::string last = LastCapture();
        ShowStatus(StatusText(last, true));
        ShowTray(TrayTipText(last, true), TrayIconAfterToggle(true));
    }

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
    const CaptureSettings settings = ToCaptureSettings(Settings());
    const std::vector<CaptureDriverEntry> list = m_drivers.entries();
    m_connectedDriver.reset();
    if (settings.captureDevice >= 0 && settings.captureDevice < static_cast<int>(list.size()))
        m_connectedDriver = list[static_cast<std::size_t>(settings.captureDevice)];
    const bool connected = m_capture.ConnectCaptureDriver(settings);
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->device = connected ? m_capture.device() : nullptr;
        m_shared->missingDriver = m_capture.missingDriver();
    }
    ShowDriverInfo(m_capture.driverInfo());
    emit captureDeviceChanged();
    return connected;
}

void Hub::ShowDriverInfo(const std::string& text)
{
    emit driverInfoChanged(QString::fromStdString(text));
}

bool Hub::Shutdown()
{
    m_bShuttingDown = true;
    m_wake.stop();
    m_timer.Stop();
    ShowDriverInfo("Disconnecting...");
    if (!m_capture.DisconnectCaptureDriver())
        m_prompter.message("Failed to disconnect from capture driver!");
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->device.reset();
    }
    m_bCaptureConnected = false;
    emit captureDeviceChanged();

    // A worker waiting for an answer would hold the wait below to its limit: from now on every
    // question is answered No.
    m_shared->EndQuestions();
    WorkerEvents& ev = m_shared->events;
    ev.quit.Set();
    ev.capture.Set();
    bool ended = false;
    m_capture.runBeside([&] { ended = ev.threadEnded.Wait(5000); });
    if (ended) {
        ev.threadEnded.Set(); // it stays ended for anyone who looks
        if (m_worker.joinable())
            m_worker.join();
    }

    // The counter is written once the worker has ended (or been given up on): a cycle that was
    // running when the shutdown began has counted its picture by then.
    WriteSetting(keys::UploadOptions::CurrentUpload, m_shared->record.CurrentUpload());
    const LiveSettings live = Settings();
    if (live.m_bSaveAutoCaptureStatus)
        WriteSetting(keys::UploadOptions::DisableUpload, live.m_bDisableUpload ? 1 : 0);
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
    SetCycleRunning(true);
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
        ShowStatus(StatusText(last, disabled));
        ShowTray(TrayTipText(last, disabled), TrayIconAfterToggle(disabled));
    }
}

void Hub::ApplySettingsPage(ReloadGroup group)
{
    switch (group) {
    case ReloadGroup::None:
        break;
    case ReloadGroup::Device: {
        int previousDevice;
        {
            std::lock_guard lock(m_shared->mutex);
            previousDevice = m_shared->live.m_nCaptureDevice;
            const std::string previousPath = m_shared->live.m_strCaptureDevicePath;
            m_shared->live.LoadDevice();
            if (m_shared->live.m_strCaptureDevicePath != previousPath)
                m_bReconnectPending = true;
        }
        ApplyDevicePage(previousDevice);
        break;
    }
    case ReloadGroup::Image: {
        std::lock_guard lock(m_shared->mutex);
        m_shared->live.LoadImageOptions();
        break;
    }
    case ReloadGroup::Capture: {
        std::lock_guard lock(m_shared->mutex);
        m_shared->live.LoadSchedule();
    }
        AfterScheduleRead();
        break;
    case ReloadGroup::Location: {
        std::lock_guard lock(m_shared->mutex);
        m_shared->live.LoadFtp();
        break;
    }
    case ReloadGroup::Connection: {
        std::lock_guard lock(m_shared->mutex);
        m_shared->live.LoadConnection();
        break;
    }
    case ReloadGroup::General: {
        bool before, after;
        {
            std::lock_guard lock(m_shared->mutex);
            before = m_shared->live.m_bHideWhenMinimized;
            m_shared->live.LoadGeneral();
            after = m_shared->live.m_bHideWhenMinimized;
        }
        if (before != after)
            emit trayInUseChanged(after);
        break;
    }
    }
}

void Hub::ApplyDevicePage(int previousDevice)
{
    const LiveSettings live = Settings();
    if (m_capture.isConnected()) {
        const std::shared_ptr<CaptureDevice> device = m_capture.device();
        bool ok = false;
        m_capture.runBeside([&] { ok = device->setPreview(!live.m_bDisablePreview); });
        if (!ok)
            m_prompter.message(live.m_bDisablePreview ? "Failed to disable preview mode"
                                                      : "Failed to enable preview mode");
    }
    if (ChosenDriverChanged(previousDevice) || m_bReconnectPending) {
        m_bReconnectPending = false;
        m_capture.DisconnectCaptureDriver();
        m_bCaptureConnected = ConnectCaptureDriver();
    }
    if (m_capture.isConnected() &&
        !m_capture.device()->setPreviewRate(PreviewPeriodMs(live.m_nPreviewRate)))
        m_prompter.message("Failed to set preview rate");
    emit captureDeviceChanged();
}

bool Hub::ChosenDriverChanged(int previousDevice)
{
    // A camera chosen by name wins over its position, which may move under it.
    const LiveSettings live = Settings();
    const bool byName = !live.m_strCaptureDevicePath.empty();
    if (!byName && live.m_nCaptureDevice != previousDevice)
        return true;
    const int chosen = byName ? m_drivers.find(live.m_strCaptureDevicePath) : live.m_nCaptureDevice;
    const std::vector<CaptureDriverEntry> list = m_drivers.entries();
    std::optional<CaptureDriverEntry> now;
    if (chosen >= 0 && chosen < static_cast<int>(list.size()))
        now = list[static_cast<std::size_t>(chosen)];
    return now != m_connectedDriver;
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
    std::string previousPath;
    {
        std::lock_guard lock(m_shared->mutex);
        previousDevice = m_shared->live.m_nCaptureDevice;
        previousPath = m_shared->live.m_strCaptureDevicePath;
        m_shared->live.LoadEverything(false);
    }
    if (ChosenDriverChanged(previousDevice) || Settings().m_strCaptureDevicePath != previousPath) {
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
    m_timer.Arm(period, m_deps.monotonicMs());
    ScheduleNextWake();
    return true;
}

void Hub::ScheduleNextWake()
{
    const std::int64_t slice = m_timer.NextSliceMs(m_deps.monotonicMs());
    if (slice >= 0)
        m_wake.start(static_cast<int>(slice));
}

void Hub::CheckTimerNow()
{
    m_wake.stop();
    OnWake();
}

void Hub::OnWake()
{
    if (m_timer.OnWake(m_deps.monotonicMs()))
        OnTimer();
    ScheduleNextWake();
}

void Hub::ShowStatus(const std::string& text)
{
    m_strStatus = text;
    emit statusChanged(QString::fromStdString(text));
}

void Hub::SetCycleRunning(bool running)
{
    m_bCaptureEnabled = !running;
    emit cycleRunningChanged(running);
}

void Hub::OnWorkerStatus(const std::string& text)
{
    ShowStatus(text);
    if (Settings().m_bHideWhenMinimized)
        emit trayTipChanged(QString::fromStdString(text));
}

void Hub::OnWorkerStatusNow(const std::string& text)
{
    ShowStatus(text);
}

void Hub::OnWorkerDone(int result, const std::string& lastCapture)
{
    const LiveSettings live = Settings();
    const bool disabled = live.m_bDisableUpload;
    ShowStatus(StatusText(lastCapture, disabled));
    ShowTray(TrayTipText(lastCapture, disabled), TrayIconAfterCycle(result, disabled));
    const bool report =
        result == 0 && (!live.m_bSuppressErrors || !m_shared->record.AutoTriggered());
    if (result == 0 && live.m_bErrorLog)
        AppendErrorLog(live.m_strWorkingFolder, lastCapture, m_deps.clock());
    // The cycle is over before its failure is shown: the box waits for its click while the
    // schedule goes on.
    SetCycleRunning(false);
    emit cycleDone(result, QString::fromStdString(lastCapture));
    if (report && !m_bShuttingDown && !m_bFailureShown) {
        // One box at a time: a later failure while it is open is in the status and the log.
        m_bFailureShown = true;
        m_prompter.message(lastCapture);
        m_bFailureShown = false;
    }
}

void Hub::ShowTray(const std::string& tip, int icon)
{
    if (Settings().m_bHideWhenMinimized) {
        emit trayTipChanged(QString::fromStdString(tip));
        emit trayIconChanged(icon);
    }
}

std::string Hub::ComposeViewPicture(std::string* error)
{
    // Holding the idle token keeps the trigger from starting a cycle meanwhile; when a cycle
    // already runs, the composition lock lets its composition finish first.
    const bool tookIdle = m_shared->events.idle.Wait(0);
    const std::string path = Settings().m_strWorkingFolder + "pvvistrel.jpg";
    const std::string stamp = m_shared->Compose(path, error);
    if (tookIdle)
        m_shared->events.idle.Set();
    return stamp.empty() ? std::string() : path;
}

std::string Hub::ViewPicture(std::string* error)
{
    if (Settings().m_nViewDisplaysLastUploadImage != 0)
        return LastPicturePath();
    // The preview lead time and the grab run beside the window, which keeps repainting.
    std::string path;
    m_capture.runBeside([&] { path = ComposeViewPicture(error); });
    return path;
}

void Hub::SettingsSheetClosed(bool accepted)
{
    if (accepted)
        WriteSetting(keys::License::INIVersion, kCurrentIniVersion);
    if (m_bShuttingDown || !m_capture.isConnected())
        return;
    m_capture.ShowDriverInfo();
    ShowDriverInfo(m_capture.driverInfo());
}

CaptureView Hub::ShownCapture() const
{
    CaptureView view;
    const std::shared_ptr<CaptureDevice> device = m_capture.device();
    if (m_capture.isConnected()) {
        view.device = device;
        view.previewSize = m_capture.previewSize();
        view.driverText = m_capture.driverInfo();
        view.capabilities = device ? device->capabilities() : CaptureCapabilities{};
        return view;
    }
    view.driverText = "No capture device connected";
    if (device && !device->lastError().empty())
        view.driverText += "\n" + device->lastError();
    return view;
}

std::vector<CaptureDriverEntry> Hub::DriversWith(const std::vector<NetworkCameraKeys>& cameras)
{
    std::vector<NetworkCameraSlot> listed;
    for (const NetworkCameraKeys& k : cameras)
        listed.push_back({k.slot, {k.name, k.url, k.username, k.password}});
    std::vector<CaptureDriverEntry> entries = m_drivers.entriesWith(listed);
    if (entries.size() > static_cast<std::size_t>(kMaxCaptureDrivers))
        entries.resize(kMaxCaptureDrivers);
    return entries;
}

bool Hub::StoreNetworkCameras(const std::vector<NetworkCameraKeys>& cameras, std::string* error)
{
    const std::vector<NetworkCameraKeys> stored = ReadNetworkCameras();
    bool ok = true;
    for (int slot = 1; slot <= kMaxNetworkCameras; ++slot) {
        const auto find = [slot](const std::vector<NetworkCameraKeys>& list) {
            return std::find_if(list.begin(), list.end(),
                                [slot](const NetworkCameraKeys& k) { return k.slot == slot; });
        };
        const auto shown = find(cameras);
        const auto was = find(stored);
        const bool inList = shown != cameras.end();
        const bool changed =
            inList ? was == stored.end() || !(*was == *shown) : was != stored.end();
        if (!changed)
            continue;
        ok = (inList ? WriteNetworkCamera(*shown, error) : RemoveNetworkCamera(slot, error)) && ok;
        // Another address or password under the same place in the list: connect it afresh.
        if (m_connectedDriver && m_connectedDriver->kind == CaptureDriverKind::Network &&
            m_connectedDriver->networkSlot == slot)
            m_bReconnectPending = true;
    }
    return ok;
}

void Hub::KeepCaptureFormat()
{
    m_keptDevice.reset();
    const std::shared_ptr<CaptureDevice> device = ShownCapture().device;
    if (device && device->getFormat(m_keptFormat))
        m_keptDevice = device;
}

bool Hub::StoreCaptureFormat()
{
    // Without a connected camera there is no format to store.
    KeepCaptureFormat();
    return !m_keptDevice || WriteVideoFormatSettings(ToVideoFormatSettings(m_keptFormat));
}

void Hub::RestoreCaptureFormat()
{
    const std::shared_ptr<CaptureDevice> kept = m_keptDevice;
    if (!kept || kept != ShownCapture().device)
        return;
    ImageFormat now;
    // Putting the same format back would only restart the camera's stream.
    if (kept->getFormat(now) && now == m_keptFormat)
        return;
    const ImageFormat format = m_keptFormat;
    m_capture.runBeside([&] { kept->setFormat(format); });
    PlacePreview();
}

bool Hub::SetCaptureFormat(const ImageFormat& format)
{
    const std::shared_ptr<CaptureDevice> device = ShownCapture().device;
    bool ok = false;
    if (device)
        m_capture.runBeside([&] { ok = device->setFormat(format); });
    return ok;
}

FormatOffer Hub::CaptureFormatOffer()
{
    const std::shared_ptr<CaptureDevice> device = ShownCapture().device;
    FormatOffer offer;
    if (device)
        m_capture.runBeside([&] {
            offer.sizes = device->frameSizes();
            offer.pixelFormats = device->pixelFormats();
        });
    return offer;
}

std::vector<CaptureControl> Hub::CaptureControls()
{
    const std::shared_ptr<CaptureDevice> device = ShownCapture().device;
    std::vector<CaptureControl> controls;
    if (device)
        m_capture.runBeside([&] { controls = device->controls(); });
    return controls;
}

std::vector<std::string>
Hub::SetCaptureControls(const std::vector<std::pair<std::uint32_t, std::int32_t>>& values)
{
    const std::shared_ptr<CaptureDevice> device = ShownCapture().device;
    std::vector<std::string> errors(values.size());
    if (!device) {
        std::fill(errors.begin(), errors.end(), std::string("No capture device connected"));
        return errors;
    }
    m_capture.runBeside([&] {
        for (std::size_t i = 0; i < values.size(); ++i)
            if (!device->setControl(values[i].first, values[i].second))
                errors[i] = device->lastError();
    });
    return errors;
}

void Hub::CaptureFormatChanged()
{
    PlacePreview();
}

void Hub::PlacePreview()
{
    m_capture.PlacePreviewWindow();
    emit captureDeviceChanged();
}

std::string Hub::GrabSampleFrame()
{
    return m_capture.GrabSampleFrame();
}

bool Hub::DialUpAvailable() const
{
    return m_dialUp->IsRasAvailable();
}

std::vector<std::string> Hub::PhoneBook()
{
    std::vector<std::string> names;
    if (!m_dialUp->IsRasAvailable())
        return names;
    const int count = m_dialUp->GetEntryCount();
    for (int i = 0; i < count; ++i)
        names.push_back(m_dialUp->GetEntryName(i));
    return names;
}

bool Hub::PhoneBookEntry(const std::string& name, std::string& userName, std::string& password,
                         std::string& phoneNumber)
{
    return m_dialUp->GetEntryDialInfo(name, userName, password, phoneNumber);
}

std::string Hub::LastPicturePath() const
{
    return Settings().m_strWorkingFolder + "~vistrel.jpg";
}

void Hub::WhileNoComposition(const std::function<void()>& fn)
{
    std::lock_guard lock(m_shared->composeMutex);
    fn();
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

std::string Hub::LastCause() const
{
    return m_shared->record.LastCause();
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

std::int64_t Hub::MsUntilNextTick() const
{
    return m_timer.MsUntilDeadline(m_deps.monotonicMs());
}

int Hub::CurrentUpload() const
{
    return m_shared->record.CurrentUpload();
}

} // namespace vistrel
