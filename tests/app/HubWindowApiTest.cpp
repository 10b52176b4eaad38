// What a window sees of the hub: its signals through a cycle, the page-apply entry of every
// settings section, the View command's composition and the worker's questions at shutdown.

#include "CycleFixture.h"
#include "ScriptedFtpServer.h"
#include "fake/FakeRasScript.h"

#include "config/SettingsFile.h"

#include <QFile>
#include <QImage>

#include <chrono>
#include <filesystem>
#include <thread>

namespace vistrel::test {
namespace {

std::vector<std::string> Without(std::vector<std::string> lines, const std::string& prefix)
{
    std::erase_if(lines, [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    return lines;
}

class HubWindowApi : public CycleFixture {};

TEST_F(HubWindowApi, ACycleShowsItselfInOrderWithTheTray)
{
    set("Options", "HideWhenMinimized", 1);
    start();
    ASSERT_EQ(cycle(), 1);
    const std::string last = hub->LastCapture();
    // Status lines in the middle are the worker's progress; the frame around them is fixed.
    const std::vector<std::string> lines = host.lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"running 1", "tip Capturing...", "icon 129"}));
    EXPECT_EQ(std::vector<std::string>(lines.end() - 5, lines.end()),
              (std::vector<std::string>{"status " + last, "tip Last Capture: " + last, "icon 128",
                                        "running 0", "done 1 " + last}));
    EXPECT_TRUE(host.has("tip Capturing Image...")); // progress goes to the tip too

    // Without the tray nothing of it is shown there.
    hub->Shutdown();
    hub.reset();
    host.clear();
    set("Options", "HideWhenMinimized", 0);
    start();
    ASSERT_EQ(cycle(), 1);
    EXPECT_EQ(Without(Without(host.lines(), "status"), "done"),
              (std::vector<std::string>{"running 1", "running 0"}));
}

// Each page's store step re-reads its own section only.
TEST_F(HubWindowApi, EachPageApplyReadsItsOwnSection)
{
    start();
    struct Case {
        ReloadGroup section;
        const char* sectionName;
        const char* key;
        std::function<std::string(const LiveSettings&)> live;
    };
    const std::vector<Case> cases = {
        {ReloadGroup::Image, "ImageOptions", "Message",
         [](const LiveSettings& l) { return l.m_strMessage; }},
        {ReloadGroup::Location, "UploadOptions", "FTPServer",
         [](const LiveSettings& l) { return l.m_strFTPServer; }},
        {ReloadGroup::Connection, "ConnectOptions", "DUN",
         [](const LiveSettings& l) { return l.m_strDUN; }},
        {ReloadGroup::General, "Options", "SoundFile",
         [](const LiveSettings& l) { return l.m_strSoundFile; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const std::string before = c.live(hub->Settings());
        set(c.sectionName, c.key, std::string("changed"));
        // Another section's apply leaves it alone.
        for (const Case& other : cases)
            if (other.section != c.section)
                hub->ApplySettingsPage(other.section);
        EXPECT_EQ(c.live(hub->Settings()), before);
        hub->ApplySettingsPage(c.section);
        EXPECT_EQ(c.live(hub->Settings()), "changed");
    }
}

TEST_F(HubWindowApi, GeneralPageReportsTheTrayComingAndGoing)
{
    start();
    std::vector<bool> changes;
    QObject::connect(hub.get(), &Hub::trayInUseChanged, [&](bool on) { changes.push_back(on); });
    hub->ApplySettingsPage(ReloadGroup::General); // nothing changed
    set("Options", "HideWhenMinimized", 1);
    hub->ApplySettingsPage(ReloadGroup::General);
    set("Options", "HideWhenMinimized", 0);
    hub->ApplySettingsPage(ReloadGroup::General);
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

TEST_F(HubWindowApi, DevicePageSwitchesPreviewAndReconnectsAnotherDriver)
{
    start();
    int deviceChanges = 0;
    QObject::connect(hub.get(), &Hub::captureDeviceChanged, [&] { ++deviceChanges; });
    const auto first = hub->ShownCapture().device;
    ASSERT_TRUE(first && first->isPreviewing());

    set("DeviceOptions", "DisablePreview", 1);
    set("DeviceOptions", "PreviewLeadTime", 0);
    set("DeviceOptions", "PreviewRate", 10);
    hub->ApplySettingsPage(ReloadGroup::Device);
    EXPECT_FALSE(first->isPreviewing());
    EXPECT_EQ(first->previewPeriod(), 100);
    EXPECT_EQ(hub->ShownCapture().device, first); // the same driver stays connected

    // A driver that does not exist: disconnected, reported, and the window keeps working.
    set("ImageFormat", "CaptureDevice", 5);
    hub->ApplySettingsPage(ReloadGroup::Device);
    EXPECT_FALSE(hub->CaptureConnected());
    EXPECT_EQ(prompter.texts().back(), CaptureSession::kConnectFailedText);
    set("ImageFormat", "CaptureDevice", 0);
    hub->ApplySettingsPage(ReloadGroup::Device);
    EXPECT_TRUE(hub->CaptureConnected());
    EXPECT_NE(hub->ShownCapture().device, first);
    EXPECT_GE(deviceChanges, 3);
    EXPECT_EQ(cycle(), 1);
}

// A network camera added in front of the test pattern takes its position: choosing it keeps the
// index (0 == 0), yet it is another driver, so the Device apply connects it.
TEST_F(HubWindowApi, ACameraAddedInFrontOfTheChosenDriverIsConnectedWhenChosen)
{
    start();
    ASSERT_EQ(hub->ShownCapture().device->name(), drivers->entries().at(0).description);
    const std::string before = hub->ShownCapture().device->name();
    set("NetworkCameras", "Camera1Name", std::string("Porch"));
    set("NetworkCameras", "Camera1URL", std::string("http://127.0.0.1:9/snap.jpg"));
    ASSERT_EQ(drivers->entries().at(0).kind, CaptureDriverKind::Network);
    hub->ApplySettingsPage(ReloadGroup::Device);
    EXPECT_EQ(hub->ShownCapture().device->name(), "Porch");
    EXPECT_NE(hub->ShownCapture().device->name(), before);
    // Applying again with nothing changed keeps the connected camera.
    const auto porch = hub->ShownCapture().device;
    hub->ApplySettingsPage(ReloadGroup::Device);
    EXPECT_EQ(hub->ShownCapture().device, porch);
}

// A box that waits for its click: whileOpen runs meanwhile, as the event loop of a real box would.
class WaitingPrompter : public RecordingPrompter {
  public:
    std::function<void()> whileOpen;
    void message(const std::string& text, PromptIcon icon = PromptIcon::Exclamation) override
    {
        RecordingPrompter::message(text, icon);
        if (whileOpen)
            whileOpen();
    }
};

// A timer cycle's failure box (errors not suppressed): the cycle is over and logged before the
// box waits, later ticks start their cycles, and their failures do not stack further boxes.
TEST_F(HubWindowApi, ACycleFailureBoxDoesNotHoldTheSchedule)
{
    ScriptedFtpServer server;
    ASSERT_TRUE(server.start());
    useServer(server.port());
    server.reply("PASS", "530 No.");
    set("UploadOptions", "SuppressErrors", 0);
    set("Options", "ErrorLog", 1);
    WaitingPrompter boxes;
    dialUp = std::make_shared<CDialUpManager>(boxes, rasLibrary, "");
    drivers = std::make_unique<CaptureDriverList>(NoV4l2Devices());
    Hub::Dependencies deps;
    deps.clock = [this] { return now; };
    hub = std::make_unique<Hub>(boxes, host, dialUp, *drivers, deps);
    ASSERT_TRUE(hub->Startup(false));
    int opened = 0;
    boxes.whileOpen = [&] {
        ++opened;
        EXPECT_FALSE(hub->CycleRunning());
        EXPECT_NE(readFile(program + "error.log").find("530 No."), std::string::npos);
        server.reply("PASS", "530 No.");
        EXPECT_EQ(cycle(true), 0); // the next tick runs while the box waits
        server.reply("PASS", "530 No.");
        EXPECT_EQ(cycle(true), 0);
    };
    EXPECT_EQ(cycle(true), 0);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"FTP Error: 530 No.\n"});
    const std::string log = readFile(program + "error.log");
    int logged = 0;
    for (auto at = log.find("530 No."); at != std::string::npos; at = log.find("530 No.", at + 1))
        ++logged;
    EXPECT_EQ(logged, 3) << log; // every failure is in the log
    hub->Shutdown();
    hub.reset();
}

// A first start runs the settings sheet from the version check; what its pages apply survives
// the rest of the start-up.
TEST_F(HubWindowApi, WhatTheFirstStartSheetAppliesSurvives)
{
    IniWriteInt("License", "INIVersion", 0);
    host.sheet = [this] {
        set("ImageOptions", "Message", std::string("Our street"));
        hub->ApplySettingsPage(ReloadGroup::Image);
        set("UploadOptions", "UploadInterval", 5);
        hub->ApplySettingsPage(ReloadGroup::Capture);
        return true;
    };
    start(true);
    EXPECT_TRUE(host.has("help 80"));
    EXPECT_TRUE(host.has("sheet"));
    EXPECT_EQ(hub->Settings().m_strMessage, "Our street");
    EXPECT_EQ(hub->Settings().m_nUploadInterval, 5);
    EXPECT_EQ(hub->TimerPeriod(), 300'000u);
    EXPECT_EQ(IniReadInt("License", "INIVersion", 0), 1005);
}

TEST_F(HubWindowApi, ViewCompositionLeavesTheCyclePictureAndTheIdleTokenAlone)
{
    start();
    ASSERT_EQ(cycle(), 1);
    const std::string last = program + "~vistrel.jpg";
    ASSERT_EQ(hub->LastPicturePath(), last);
    QFile before(QString::fromStdString(last));
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray cyclePicture = before.readAll();

    std::string error;
    EXPECT_EQ(hub->ComposeViewPicture(&error), program + "pvvistrel.jpg");
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(QImage(QString::fromStdString(program + "pvvistrel.jpg")).width() > 0);
    QFile after(QString::fromStdString(last));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), cyclePicture);
    // The idle token came back: the next cycle starts.
    EXPECT_EQ(cycle(), 1);

    // Without a camera the capture error comes back and nothing is written.
    set("ImageFormat", "CaptureDevice", 7);
    hub->ApplySettingsPage(ReloadGroup::Device);
    std::filesystem::remove(program + "pvvistrel.jpg");
    EXPECT_EQ(hub->ComposeViewPicture(&error), "");
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(program + "pvvistrel.jpg"));
}

class HubQuestions : public CycleFixture {
  protected:
    ScriptedFtpServer server;
};

// A question the worker asks while the window is closing is answered No without a box, so the
// worker ends inside the shutdown's wait instead of being abandoned.
TEST_F(HubQuestions, AQuestionPendingAtShutdownIsAnsweredNo)
{
    FakeRas ras; // no line up: a cycle by hand asks whether to connect
    rasLibrary = FAKE_RAS_FULL;
    set("ConnectOptions", "UseLAN", 0);
    useServer(server.port());
    start();
    const long looked = ras.calls("RasEnumConnectionsA");
    ASSERT_TRUE(hub->OnCaptureCommand());
    // Once the worker has found no line up, its question is queued to this thread, which does not
    // run it (no events are handled here): shut down with it pending. (Were the shutdown to come
    // between the look and the question, the question would be answered No all the same.)
    const auto t0 = std::chrono::steady_clock::now();
    while (ras.calls("RasEnumConnectionsA") == looked &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(ras.calls("RasEnumConnectionsA"), looked);
    EXPECT_TRUE(hub->Shutdown());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(3000));
    pump(100);
    EXPECT_TRUE(prompter.shown().empty());
    EXPECT_EQ(ras.calls("RasDialA"), 0);
}

} // namespace
} // namespace vistrel::test
