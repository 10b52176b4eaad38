#include "CycleFixture.h"

#include "RealFtpServers.h"
#include "ScriptedFtpServer.h"
#include "TestCertificates.h"
#include "fake/FakeRasScript.h"
#include "ftp/FtpSession.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace vistrel;
using namespace vistrel::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool isJpeg(const std::string& bytes)
{
    return bytes.size() > 4 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xD8;
}

class PyFtpdCycle : public CycleFixture {
  protected:
    PyFtpdServer server;
    void SetUp() override
    {
        CycleFixture::SetUp();
        ASSERT_TRUE(server.start("cam", "secret")) << server.error();
        useServer(server.port());
    }
    std::string remote(const std::string& name) { return readFile(server.root() + "/" + name); }
};

} // namespace

TEST_F(PyFtpdCycle, PublishesUnderTheTemporaryNameThenRenamesIntoPlace)
{
    set("UploadOptions", "FTPLog", 1);
    set("UploadOptions", "PassiveMode", 1);
    start();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    const std::string local = readFile(program + "~vistrel.jpg");
    EXPECT_TRUE(isJpeg(local));
    EXPECT_EQ(remote("vistrel.jpg"), local);
    EXPECT_EQ(readFile(dir.file("vistrel.jpg")), local); // the local copy
    EXPECT_EQ(filesIn(server.root()), std::vector<std::string>{"vistrel.jpg"});
    const std::string log = readFile(program + "ftp.log");
    EXPECT_NE(log.find("STOR vistrel.tmp\r\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("RNFR vistrel.tmp\r\r\n"), std::string::npos);
    EXPECT_NE(log.find("RNTO vistrel.jpg\r\r\n"), std::string::npos);
    EXPECT_NE(log.find("PASS secret\r\r\n"), std::string::npos); // passwords in clear
    EXPECT_EQ(log.find("QUIT"), std::string::npos);
    EXPECT_EQ(hub->Status(), hub->LastCapture());
    EXPECT_TRUE(prompter.texts().empty());
}

TEST_F(PyFtpdCycle, NoTempFileDeleteBeforeMoveAndActiveMode)
{
    set("UploadOptions", "NoTempFile", 1);
    set("UploadOptions", "FTPLog", 1);
    start();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    std::string log = readFile(program + "ftp.log");
    EXPECT_NE(log.find("PORT 127,0,0,1,"), std::string::npos);
    EXPECT_NE(log.find("STOR vistrel.jpg\r\r\n"), std::string::npos);
    EXPECT_EQ(log.find("RNFR"), std::string::npos);
    hub->Shutdown();
    hub.reset();

    set("UploadOptions", "NoTempFile", 0);
    set("Options", "DeleteBeforeMove", 1);
    start();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    log = readFile(program + "ftp.log");
    const auto dele = log.find("DELE vistrel.jpg");
    const auto rnfr = log.find("RNFR vistrel.tmp");
    ASSERT_NE(dele, std::string::npos);
    EXPECT_LT(dele, rnfr);
    EXPECT_EQ(filesIn(server.root()), std::vector<std::string>{"vistrel.jpg"});
}

TEST_F(PyFtpdCycle, DirectoryAndAFileNameWithADirectoryPart)
{
    fs::create_directories(server.root() + "/cams");
    set("UploadOptions", "FTPDirectory", std::string("cams"));
    start();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    EXPECT_EQ(filesIn(server.root() + "/cams"), std::vector<std::string>{"vistrel.jpg"});
    hub->Shutdown();
    hub.reset();

    // The temporary name lies in the log-in directory, the rename target below it.
    set("UploadOptions", "FTPDirectory", std::string(""));
    set("UploadOptions", "FTPFilename", std::string("cams/live.jpg"));
    set("UploadOptions", "FTPLog", 1);
    start();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    EXPECT_NE(readFile(program + "ftp.log").find("STOR live.tmp\r"), std::string::npos);
    EXPECT_TRUE(isJpeg(remote("cams/live.jpg")));
    EXPECT_FALSE(fileExists(server.root() + "/live.tmp"));
}

TEST_F(PyFtpdCycle, RemoteArchiveInBothOrdersKeepsEachPictureInItsSlot)
{
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        for (const auto& f : filesIn(server.root()))
            fs::remove(server.root() + "/" + f);
        set("UploadOptions", "ArchiveInterval", 1);
        set("UploadOptions", "NumberOfArchives", 3);
        set("UploadOptions", "ArchiveOrder", order);
        set("UploadOptions", "CurrentUpload", 0);
        set("UploadOptions", "SaveAsFile", 0);
        start();
        std::vector<std::string> pictures;
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(cycle(), 1) << hub->LastCapture();
            pictures.push_back(readFile(program + "~vistrel.jpg"));
        }
        // Each cycle's picture differs (the test pattern moves and counts frames).
        for (int i = 1; i < 4; ++i)
            ASSERT_NE(pictures[i], pictures[i - 1]);
        EXPECT_EQ(remote("vistrel.jpg"), pictures[3]);
        if (order == 0) {
            EXPECT_EQ(remote("vistrel01.jpg"), pictures[2]);
            EXPECT_EQ(remote("vistrel02.jpg"), pictures[1]);
            EXPECT_EQ(remote("vistrel03.jpg"), pictures[0]);
        } else {
            EXPECT_EQ(remote("vistrel03.jpg"), pictures[2]);
            EXPECT_EQ(remote("vistrel02.jpg"), pictures[1]);
            EXPECT_EQ(remote("vistrel01.jpg"), pictures[0]);
        }
        EXPECT_EQ(hub->CurrentUpload(), 0);
        hub->Shutdown();
        hub.reset();
    }
}

TEST_F(PyFtpdCycle, LocalAndRemoteArchiveTurnInOneCycle)
{
    set("UploadOptions", "ArchiveInterval", 2);
    set("UploadOptions", "NumberOfArchives", 2);
    start();
    std::vector<std::string> pictures;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(cycle(), 1) << hub->LastCapture();
        pictures.push_back(readFile(program + "~vistrel.jpg"));
    }
    // The second cycle turned both archives: the first picture moved into slot 01 on both sides.
    EXPECT_EQ(readFile(dir.file("vistrel01.jpg")), pictures[0]);
    EXPECT_EQ(remote("vistrel01.jpg"), pictures[0]);
    EXPECT_EQ(remote("vistrel.jpg"), pictures[2]);
    EXPECT_EQ(hub->CurrentUpload(), 1); // only the remote turn reset the counter
}

using TlsCycle = CycleFixture;

// The cycle through explicit TLS to a server that requires it: pinned to the server's
// self-signed certificate; without the pin refused before the password leaves; with
// verification off taken, which the status says.
TEST_F(TlsCycle, PublishesPinnedRefusesUnpinnedAndSaysWhenUnverified)
{
    const TestCertificates& certs = SharedTestCertificates();
    ASSERT_TRUE(certs.ok);
    PyFtpdServer server;
    server.useTls({certs.selfSigned.certFile, certs.selfSigned.keyFile, false, true});
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    useServer(server.port());
    set("UploadOptions", "FTPLog", 1);
    set("UploadOptions", "FTPSecurity", 1);
    set("UploadOptions", "FTPCertificateFingerprint", certs.selfSigned.fingerprint);
    const std::string unverified = std::string("status ") + ftptext::kNotVerified;
    start();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    EXPECT_TRUE(readFile(server.root() + "/vistrel.jpg") == readFile(program + "~vistrel.jpg"));
    const std::string log = readFile(program + "ftp.log");
    EXPECT_NE(log.find("AUTH TLS\r\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("PASS ********\r\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("secret"), std::string::npos) << log;
    EXPECT_FALSE(host.has(unverified));
    hub->Shutdown();
    hub.reset();

    set("UploadOptions", "FTPCertificateFingerprint", std::string());
    start();
    EXPECT_EQ(cycle(), 0);
    EXPECT_EQ(hub->LastCapture(), "FTP Error: Certificate error: self-signed certificate");
    EXPECT_EQ(readFile(program + "ftp.log").find("USER"), std::string::npos);
    hub->Shutdown();
    hub.reset();

    set("UploadOptions", "FTPVerifyCertificate", 0);
    start();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    EXPECT_TRUE(host.has(unverified));
}

TEST_F(PyFtpdCycle, LogOnFailureIsReportedLoggedAndSendsNoQuit)
{
    IniWritePassword("UploadOptions", "FTPPassword", "wrong");
    set("UploadOptions", "FTPLog", 1);
    set("Options", "ErrorLog", 1);
    start();
    ASSERT_EQ(cycle(), 0);
    EXPECT_EQ(hub->LastCapture().rfind("FTP Error: 530", 0), 0u) << hub->LastCapture();
    ASSERT_EQ(prompter.texts().size(), 1u); // a cycle by hand always shows its failure
    EXPECT_EQ(prompter.texts()[0], hub->LastCapture());
    const std::string log = readFile(program + "ftp.log");
    EXPECT_NE(log.find("PASS wrong\r\r\n530"), std::string::npos) << log;
    EXPECT_EQ(log.find("QUIT"), std::string::npos);

    std::tm t{};
    localtime_r(&now, &t);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%m-%d-%y %H:%M", &t);
    const std::string errorLog = readFile(program + "error.log");
    EXPECT_EQ(errorLog.rfind(std::string(stamp) + " - FTP Error: 530", 0), 0u) << errorLog;

    // A timer cycle's failure is suppressed (the default) but still logged.
    prompter.clear();
    ASSERT_EQ(cycle(true), 0);
    EXPECT_TRUE(prompter.texts().empty());
    EXPECT_EQ(readFile(program + "error.log").size(), 2 * errorLog.size());
}

TEST_F(PyFtpdCycle, AnUnwritableProgramFolderFailsTheCycleCleanlyAndLogsNothing)
{
    // A folder nobody can write into, root included: a path below a plain file.
    writeFile(dir.file("blocked"), "");
    set("Install", "Directory", dir.file("blocked"));
    set("UploadOptions", "FTPLog", 1);
    set("Options", "ErrorLog", 1);
    start();
    ASSERT_EQ(cycle(), 0);
    EXPECT_NE(hub->LastCapture().find("(ImgLibSaveRGBToJPG)"), std::string::npos)
        << hub->LastCapture();
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{hub->LastCapture()});
    EXPECT_TRUE(filesIn(server.root()).empty());
    // The next cycle in a writable folder works as before.
    set("Install", "Directory", dir.file("program"));
    hub->ReloadSettings();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    EXPECT_TRUE(isJpeg(remote("vistrel.jpg")));
}

TEST_F(PyFtpdCycle, TwoRequestsInQuickSuccessionStartOneCycle)
{
    start();
    ASSERT_TRUE(hub->OnCaptureCommand());
    EXPECT_FALSE(hub->OnCaptureCommand());
    EXPECT_TRUE(hub->CycleRunning());
    EXPECT_EQ(waitCycle(), 1);
    EXPECT_FALSE(hub->CycleRunning());
    EXPECT_EQ(waitCycle(1500), -1); // no second cycle follows
}

TEST_F(PyFtpdCycle, TheTimerPublishesByItself)
{
    set("UploadOptions", "UploadInterval", 1);
    set("UploadOptions", "UploadIntervalMeasure", 0); // seconds
    start(true);
    EXPECT_EQ(hub->TimerPeriod(), 1000u);
    // Short of the deadline nothing starts; at it, a cycle does, and again one period later.
    monotonicMs += 999;
    hub->CheckTimerNow();
    EXPECT_FALSE(hub->CycleRunning());
    EXPECT_EQ(hub->MsUntilNextTick(), 1);
    for (int tick = 0; tick < 2; ++tick) {
        monotonicMs += tick == 0 ? 1 : 1000;
        hub->CheckTimerNow();
        EXPECT_TRUE(hub->CycleRunning()) << "tick " << tick;
        EXPECT_EQ(waitCycle(5000), 1);
    }
    EXPECT_TRUE(isJpeg(remote("vistrel.jpg")));

    // Automatic capture switched off: ticks come and nothing happens.
    hub->ToggleAutoCapture();
    monotonicMs += 1000;
    hub->CheckTimerNow();
    EXPECT_FALSE(hub->CycleRunning());
    EXPECT_EQ(hub->MsUntilNextTick(), 1000);
    EXPECT_EQ(hub->Status(), hub->LastCapture() + "\nAuto-Capture Disabled");
}

// The scripted server, where a refusal or a stall must be staged.
class ScriptedCycle : public CycleFixture {
  protected:
    ScriptedFtpServer server;
    void SetUp() override
    {
        CycleFixture::SetUp();
        ASSERT_TRUE(server.start());
        useServer(server.port());
        set("UploadOptions", "PassiveMode", 1);
    }
};

TEST_F(ScriptedCycle, ARefusedRenameOntoAnExistingNameFailsUnlessTheTargetIsDeletedFirst)
{
    server.reply("RNTO", "550 Cannot create a file when that file already exists.");
    start();
    ASSERT_EQ(cycle(), 0);
    EXPECT_EQ(hub->LastCapture(),
              "FTP Error: 550 Cannot create a file when that file already exists.\n");
    const auto t = server.transcript();
    EXPECT_EQ(t.back(), "QUIT");
    EXPECT_EQ(t[t.size() - 2], "RNTO vistrel.jpg");
}

TEST_F(ScriptedCycle, DeleteBeforeMoveTakesTheTargetAwayFirst)
{
    set("Options", "DeleteBeforeMove", 1);
    server.reply("DELE", "550 No such file.");
    start();
    ASSERT_EQ(cycle(), 1) << hub->LastCapture();
    const auto t = server.transcript();
    const std::vector<std::string> tail(t.end() - 4, t.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"DELE vistrel.jpg", "RNFR vistrel.tmp",
                                              "RNTO vistrel.jpg", "QUIT"}));
}

TEST_F(ScriptedCycle, ShutdownDuringAStalledUploadEndsWithinFiveSecondsWithoutAReport)
{
    set("UploadOptions", "FTPTimeOut", 60);
    server.dataFault(ScriptedFtpServer::DataFault::StallRead);
    server.dataReceiveBuffer(4096);
    set("ImageOptions", "Quality", 100);
    start();
    ASSERT_TRUE(hub->OnCaptureCommand());
    // The upload is under way and stuck: the server has the STOR and reads nothing.
    EXPECT_TRUE(waitUntil(
        [&] {
            for (const std::string& command : server.transcript())
                if (command.rfind("STOR ", 0) == 0)
                    return true;
            return false;
        },
        10000));
    EXPECT_TRUE(hub->CycleRunning());
    const auto t0 = std::chrono::steady_clock::now();
    hub->Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(5500));
    pump(100);
    for (const auto& line : host.lines())
        EXPECT_NE(line.rfind("done", 0), 0u) << line;
    hub.reset(); // the abandoned worker keeps what it uses alive by itself
}

TEST_F(ScriptedCycle, OffLineTimerCycleWithOnlyWhileOnlineIsSilent)
{
    FakeRas ras; // a provider with no line up
    rasLibrary = FAKE_RAS_FULL;
    set("ConnectOptions", "UseLAN", 0);
    start();
    ASSERT_EQ(cycle(false), 1); // a first cycle by hand: asked, answered No, skipped silently
    ASSERT_FALSE(prompter.shown().empty());
    EXPECT_TRUE(prompter.shown().front().question);
    EXPECT_EQ(prompter.shown().front().text,
              "You are not connected to the Internet, would you like to connect?");
    EXPECT_EQ(hub->LastCapture(), "");
    prompter.clear();
    ASSERT_EQ(cycle(true), 1); // a timer cycle: not even asked
    EXPECT_EQ(hub->LastCapture(), "");
    EXPECT_TRUE(prompter.texts().empty());
    EXPECT_TRUE(fileExists(dir.file("vistrel.jpg"))); // the local copy is still made
    EXPECT_EQ(ras.calls("RasDialA"), 0);
    EXPECT_EQ(server.dataConnections(), 0);
}

TEST_F(ScriptedCycle, ATimerCycleDialsPublishesAndHangsUp)
{
    FakeRas ras;
    ras("entry|Home ISP|555-0199|bob|hunter2");
    rasLibrary = FAKE_RAS_FULL;
    set("ConnectOptions", "UseLAN", 0);
    set("ConnectOptions", "DUN", std::string("Home ISP"));
    set("ConnectOptions", "UserName", std::string("bob"));
    IniWritePassword("ConnectOptions", "Password", "hunter2");
    set("ConnectOptions", "PhoneNumber", std::string("555-0199"));
    set("UploadOptions", "OnlyWhileOnline", 0);
    start();
    ASSERT_EQ(cycle(true), 1) << hub->LastCapture();
    EXPECT_EQ(ras.calls("RasDialA"), 1);
    EXPECT_GE(ras.calls("RasHangUpA"), 1);
    EXPECT_TRUE(host.has("status Disconnecting..."));
    EXPECT_EQ(server.transcript().back(), "QUIT");
}

// The schedule side of the hub, with FTP off.
class HubSchedule : public CycleFixture {};

TEST_F(HubSchedule, UploadOnStartRunsExactlyOneCycleEvenWithoutATimer)
{
    set("Options", "UploadOnStart", 1);
    start(true);
    EXPECT_EQ(hub->TimerPeriod(), 0u);
    EXPECT_EQ(waitCycle(10000), 1);
    EXPECT_EQ(waitCycle(1500), -1);

    // With automatic capture off the start-up capture counts as a tick and is dropped.
    hub->Shutdown();
    hub.reset();
    set("UploadOptions", "DisableUpload", 1);
    start(true);
    EXPECT_EQ(waitCycle(1500), -1);
}

TEST_F(HubSchedule, ApplyingTheCapturePageResetsTheCounterAndRearms)
{
    start(true);
    for (int i = 0; i < 7; ++i)
        ASSERT_EQ(cycle(), 1);
    EXPECT_EQ(hub->CurrentUpload(), 7);
    set("UploadOptions", "ArchiveInterval", 5);
    set("UploadOptions", "UploadInterval", 30);
    hub->ApplySettingsPage(ReloadGroup::Capture);
    EXPECT_EQ(hub->CurrentUpload(), 0);
    EXPECT_EQ(hub->TimerPeriod(), 1'800'000u);

    // A negative interval cannot arm a timer.
    set("UploadOptions", "UploadInterval", -3);
    hub->ApplySettingsPage(ReloadGroup::Capture);
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Unable to set timer."});
}

TEST_F(HubSchedule, AutoCaptureToggleAndItsDisplays)
{
    set("Options", "HideWhenMinimized", 1);
    start();
    ASSERT_EQ(cycle(), 1);
    const std::string last = hub->LastCapture();
    hub->ToggleAutoCapture();
    EXPECT_TRUE(hub->AutoCaptureDisabled());
    EXPECT_EQ(hub->Status(), last + "\nAuto-Capture Disabled");
    hub->OnTimer(); // ticks are ignored while automatic capture is off
    EXPECT_FALSE(hub->CycleRunning());
    EXPECT_TRUE(hub->OnCaptureCommand()); // the Capture button still works
    EXPECT_EQ(waitCycle(), 1);
    hub->ToggleAutoCapture();
    EXPECT_EQ(hub->Status(), hub->LastCapture());
}

// A shutdown while the cycle is still composing its picture (the frame grabbed, the stamp being
// made) saves the count that cycle reached, not the one before it.
TEST_F(HubSchedule, AShutdownWhileTheCycleComposesKeepsItsCount)
{
    std::atomic<bool> composing{false};
    std::atomic<bool> slow{false};
    composeClock = [&composing, &slow] {
        if (slow) {
            composing = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
        }
        return QDateTime::currentDateTime();
    };
    start();
    ASSERT_EQ(cycle(), 1);
    slow = true;
    ASSERT_TRUE(hub->OnCaptureCommand());
    ASSERT_TRUE(waitUntil([&composing] { return composing.load(); }, 10000));
    EXPECT_TRUE(hub->Shutdown());
    EXPECT_EQ(hub->CurrentUpload(), 2);
    EXPECT_EQ(IniReadInt("UploadOptions", "CurrentUpload", -1), 2);
}

TEST_F(HubSchedule, AStoppedWorkerIsReported)
{
    start();
    hub->Shutdown();
    EXPECT_FALSE(hub->OnCaptureCommand());
    EXPECT_EQ(prompter.texts().back(), "ThreadProc Not Running!");
    EXPECT_FALSE(hub->OnCaptureCommand()); // and again: the worker stays ended
    EXPECT_EQ(prompter.texts().back(), "ThreadProc Not Running!");
    hub.reset();
}
