#include "upload/UploadThread.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace vistrel;

namespace {

// One shared transcript of everything the worker does to the session, the dial-up manager and
// the host, so the order of QUIT, hang-up and report can be checked.
struct Transcript {
    std::mutex mutex;
    std::vector<std::string> lines;
    void add(const std::string& s)
    {
        std::lock_guard lock(mutex);
        lines.push_back(s);
    }
    std::vector<std::string> get()
    {
        std::lock_guard lock(mutex);
        return lines;
    }
    bool has(const std::string& s)
    {
        auto l = get();
        return std::find(l.begin(), l.end(), s) != l.end();
    }
};

struct FakeSession : FtpSessionOps {
    Transcript& t;
    std::string failOn; // the operation that fails ("LogOn", "CWD", "DELE x", …)
    bool throwOnUpload = false;
    std::function<void()> duringUpload;
    std::string message = "226 ok";

    explicit FakeSession(Transcript& tr) : t(tr) {}
    ~FakeSession() override { t.add("destroy session"); }

    bool step(const std::string& op)
    {
        t.add(op);
        if (op == failOn || op.rfind(failOn + " ", 0) == 0) {
            message = "550 refused: " + op;
            return false;
        }
        message = "250 ok";
        return true;
    }
    bool OpenLog(const std::string& path) override { return step("log " + path); }
    bool LogOn(const FtpConnection& c) override
    {
        t.add("timeout " + std::to_string(c.timeout));
        t.add(c.passive ? "passive" : "active");
        return step("LogOn " + c.host + ":" + std::to_string(c.port) + " " + c.user + " [] type " +
                    std::to_string(c.logonType));
    }
    bool ChangeDir(const std::string& d) override { return step("CWD " + d); }
    bool DeleteFile(const std::string& n) override { return step("DELE " + n); }
    bool RenameTolerant(const std::string& a, const std::string& b) override
    {
        return step("RNT " + a + " " + b);
    }
    bool Rename(const std::string& a, const std::string& b) override
    {
        return step("RN " + a + " " + b);
    }
    bool UploadFile(const std::string& local, const std::string& remote) override
    {
        if (duringUpload)
            duringUpload();
        if (throwOnUpload) {
            t.add("STOR " + remote);
            throw std::runtime_error("boom");
        }
        return step("STOR " + remote + " from " + local.substr(local.rfind('/') + 1));
    }
    void Quit() override { t.add("QUIT"); }
    std::string Message() const override { return message; }
};

struct FakeDialUp : DialUpOps {
    Transcript& t;
    bool connected = false;
    bool dialSucceeds = true;
    explicit FakeDialUp(Transcript& tr) : t(tr) {}
    bool FindConnected() override { return connected; }
    bool Dial(const std::string& e, const std::string& u, const std::string& p,
              const std::string& n) override
    {
        t.add("Dial " + e + " " + u + " " + p + " " + n);
        connected = dialSucceeds;
        return dialSucceeds;
    }
    std::string GetErrorText() override { return "Line busy"; }
    void HangUp(bool onlyIfOurs) override
    {
        t.add(onlyIfOurs ? "HangUp ours" : "HangUp");
        connected = false;
    }
};

struct FakeHost : UploadHost {
    Transcript& t;
    std::mutex mutex;
    std::condition_variable cv;
    int done = 0;
    int lastResult = -1;
    std::string lastText;
    std::vector<std::string> statuses;
    std::vector<bool> answers;
    explicit FakeHost(Transcript& tr) : t(tr) {}

    void StatusChanged(const std::string& s) override
    {
        std::lock_guard lock(mutex);
        statuses.push_back(s);
    }
    void CycleDone(int result, const std::string& text) override
    {
        t.add("done " + std::to_string(result));
        std::lock_guard lock(mutex);
        ++done;
        lastResult = result;
        lastText = text;
        cv.notify_all();
    }
    void ShowStatusNow(const std::string& s) override { t.add("direct " + s); }
    bool AskQuestionAndWait(const std::string& q) override
    {
        t.add("ask " + q);
        std::lock_guard lock(mutex);
        if (answers.empty())
            return false;
        bool a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    bool waitDone(int count, int ms = 5000)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done >= count; });
    }
};

// Runs a worker thread and triggers cycles the way the window's trigger does.
struct WorkerFixture : ::testing::Test {
    test::TempDir dir;
    Transcript t;
    WorkerEvents events;
    CycleRecord record;
    FakeHost host{t};
    FakeDialUp dialUp{t};
    UploadSettings settings;
    std::string composeResult = "12/8/26 10:00";
    std::string composeError = "Capture Error: Unable to save captured image.";
    std::function<void(FakeSession&)> configure = [](FakeSession&) {};
    std::function<void()> afterCompose = [] {};
    std::unique_ptr<UploadThread> worker;
    std::thread thread;

    void SetUp() override
    {
        settings.programFolder = dir.path() + "/";
        settings.saveAsFilename = dir.file("vistrel.jpg");
        settings.ftpUpload = true;
        settings.useLan = true;
        settings.ftp.host = "cam.example";
        settings.ftp.user = "cam";
        worker = std::make_unique<UploadThread>(
            events, record, host, [this] { return settings; },
            [this](const std::string& out, std::string* error) {
                if (composeResult.empty()) {
                    *error = composeError;
                    return std::string();
                }
                test::writeFile(out, "JPEG " + composeResult);
                afterCompose();
                return composeResult;
            },
            [this] {
                auto s = std::make_unique<FakeSession>(t);
                configure(*s);
                return s;
            },
            &dialUp);
        events.idle.Set();
        thread = std::thread([this] { worker->Run(); });
    }
    void TearDown() override
    {
        events.quit.Set();
        events.capture.Set();
        ASSERT_TRUE(events.threadEnded.Wait(5000));
        thread.join();
    }
    // The trigger: take the idle token, reset the events, request a cycle.
    bool trigger(bool automatic)
    {
        if (!events.idle.Wait(0))
            return false;
        record.SetAutoTriggered(automatic);
        events.quit.Reset();
        events.threadEnded.Reset();
        events.capture.Set();
        return true;
    }
    void runCycle(bool automatic = false)
    {
        const int before = host.done;
        ASSERT_TRUE(trigger(automatic));
        ASSERT_TRUE(host.waitDone(before + 1));
        ASSERT_TRUE(events.idle.Wait(2000)); // exactly one idle signal follows
        events.idle.Set();
    }
    std::vector<std::string> sessionCalls()
    {
        std::vector<std::string> out;
        for (auto& l : t.get())
            if (l.rfind("timeout", 0) != 0 && l != "active" && l != "passive")
                out.push_back(l);
        return out;
    }
};

using V = std::vector<std::string>;

} // namespace

TEST_F(WorkerFixture, SuccessUploadsUnderTheTemporaryNameAndRenamesIntoPlace)
{
    settings.ftpDirectory = "cams";
    settings.ftpFilename = "cams/live.jpg";
    runCycle();
    EXPECT_EQ(host.lastResult, 1);
    EXPECT_EQ(host.lastText, "12/8/26 10:00");
    EXPECT_EQ(sessionCalls(), (V{"LogOn cam.example:21 cam [] type 0", "CWD cams",
                                 "STOR live.tmp from ~vistrel.jpg", "RN live.tmp cams/live.jpg",
                                 "QUIT", "destroy session", "done 1"}));
    EXPECT_EQ(host.statuses, (V{"Capturing Image...", "Connecting to cam.example...",
                                "Logging in to cam.example...",
                                "Uploading image as cams/live.jpg...", "Closing FTP Session..."}));
    EXPECT_EQ(test::readFile(settings.saveAsFilename), "JPEG 12/8/26 10:00");
    EXPECT_EQ(record.CurrentUpload(), 1);
}

TEST_F(WorkerFixture, NoTempFileDeleteBeforeMoveAndFtpLog)
{
    settings.noTempFile = true;
    settings.ftpLog = true;
    runCycle();
    EXPECT_EQ(sessionCalls(),
              (V{"log " + dir.path() + "/ftp.log", "LogOn cam.example:21 cam [] type 0",
                 "STOR vistrel.jpg from ~vistrel.jpg", "QUIT", "destroy session", "done 1"}));
    t.lines.clear();
    settings.noTempFile = false;
    settings.ftpLog = false;
    settings.deleteBeforeMove = true;
    runCycle();
    EXPECT_EQ(
        sessionCalls(),
        (V{"LogOn cam.example:21 cam [] type 0", "STOR vistrel.tmp from ~vistrel.jpg",
           "DELE vistrel.jpg", "RN vistrel.tmp vistrel.jpg", "QUIT", "destroy session", "done 1"}));
}

TEST_F(WorkerFixture, FailureTable)
{
    struct Row {
        std::string failOn;
        std::string text;
        V tail; // the transcript from the failing step on
    };
    settings.ftpDirectory = "d";
    settings.deleteBeforeMove = true;
    settings.archiveInterval = 1;
    settings.numberOfArchives = 1;
    const std::vector<Row> rows = {
        {"LogOn",
         "FTP Error: 550 refused: LogOn cam.example:21 cam [] type 0",
         {"LogOn cam.example:21 cam [] type 0", "destroy session", "done 0"}},
        {"CWD", "FTP Error: 550 refused: CWD d", {"CWD d", "QUIT", "destroy session", "done 0"}},
        {"RNT",
         "FTP Error: 550 refused: RNT vistrel.jpg vistrel01.jpg",
         {"RNT vistrel.jpg vistrel01.jpg", "destroy session", "done 0"}},
        {"STOR",
         "FTP Error: (Upload) 550 refused: STOR vistrel.tmp from ~vistrel.jpg",
         {"STOR vistrel.tmp from ~vistrel.jpg", "QUIT", "destroy session", "done 0"}},
        {"DELE vistrel.jpg",
         "FTP Delete: 550 refused: DELE vistrel.jpg",
         {"DELE vistrel.jpg", "destroy session", "done 0"}},
        {"RN",
         "FTP Error: 550 refused: RN vistrel.tmp vistrel.jpg",
         {"RN vistrel.tmp vistrel.jpg", "QUIT", "destroy session", "done 0"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failOn);
        t.lines.clear();
        configure = [&](FakeSession& s) { s.failOn = row.failOn; };
        runCycle();
        EXPECT_EQ(host.lastResult, 0);
        EXPECT_EQ(host.lastText, row.text);
        auto calls = sessionCalls();
        ASSERT_GE(calls.size(), row.tail.size());
        EXPECT_EQ(V(calls.end() - row.tail.size(), calls.end()), row.tail);
    }

    t.lines.clear();
    configure = [](FakeSession& s) { s.throwOnUpload = true; };
    runCycle();
    EXPECT_EQ(host.lastText, "FTP Error: 250 ok");
    EXPECT_FALSE(t.has("QUIT"));

    // Not even a session (memory ran out, say): the cycle fails and the worker serves the next.
    configure = [](FakeSession&) { throw std::bad_alloc(); };
    runCycle();
    EXPECT_EQ(host.lastResult, 0);
    EXPECT_EQ(host.lastText, "FTP Error: ");
    configure = [](FakeSession&) {};
    runCycle();
    EXPECT_EQ(host.lastResult, 1);
}

TEST_F(WorkerFixture, ComposeFailureAndFtpOff)
{
    composeResult = "";
    runCycle();
    EXPECT_EQ(host.lastResult, 0);
    EXPECT_EQ(host.lastText, "Capture Error: Unable to save captured image.");
    EXPECT_EQ(record.CurrentUpload(), 0);
    EXPECT_FALSE(test::fileExists(settings.saveAsFilename));

    composeResult = "now";
    settings.ftpUpload = false;
    settings.archiveInterval = 1;
    settings.numberOfArchives = 2;
    host.statuses.clear();
    runCycle();
    runCycle();
    EXPECT_EQ(host.lastResult, 1);
    EXPECT_EQ(sessionCalls(), (V{"done 0", "done 1", "done 1"}));
    EXPECT_EQ(host.statuses, (V{"Capturing Image...", "Archiving images...", "Capturing Image...",
                                "Archiving images..."}));
    EXPECT_EQ(record.CurrentUpload(), 0); // the local turn resets the counter when FTP is off
    EXPECT_EQ(test::readFile(dir.file("vistrel01.jpg")), "JPEG now");
}

TEST_F(WorkerFixture, OffLineTimerCycleIsSilentAndKeepsThePreviousText)
{
    settings.useLan = false;
    record.SetLastCapture("earlier");
    runCycle(true);
    EXPECT_EQ(host.lastResult, 1);
    EXPECT_EQ(host.lastText, "earlier");
    EXPECT_TRUE(test::fileExists(settings.saveAsFilename)); // the local copy is still made
    EXPECT_EQ(sessionCalls(), (V{"done 1"}));

    // A user cycle asks first; No skips the same way.
    runCycle(false);
    EXPECT_EQ(sessionCalls(),
              (V{"done 1", "ask You are not connected to the Internet, would you like to connect?",
                 "done 1"}));
}

TEST_F(WorkerFixture, DiallingHangsUpBeforeTheLogOnFailureIsReported)
{
    settings.useLan = false;
    settings.onlyWhileOnline = false;
    settings.dun = "ISP";
    configure = [](FakeSession& s) { s.failOn = "LogOn"; };
    runCycle(true);
    EXPECT_EQ(sessionCalls(),
              (V{"Dial ISP   ", "LogOn cam.example:21 cam [] type 0", "direct Disconnecting...",
                 "HangUp", "destroy session", "done 0"}));

    // Dialling that fails reports the dial-up manager's text.
    t.lines.clear();
    dialUp.dialSucceeds = false;
    runCycle(true);
    EXPECT_EQ(host.lastText, "Line busy");
    EXPECT_EQ(host.lastResult, 0);

    // A user cycle that dialled asks before hanging up; No leaves the line up.
    t.lines.clear();
    dialUp.dialSucceeds = true;
    configure = [](FakeSession&) {};
    host.answers = {true, false};
    runCycle(false);
    EXPECT_TRUE(t.has("ask Would you like to disconnect?"));
    EXPECT_FALSE(t.has("HangUp"));
    EXPECT_TRUE(dialUp.connected);
}

TEST_F(WorkerFixture, ShutdownDuringTheUploadEndsWithoutReportOrQuit)
{
    configure = [this](FakeSession& s) {
        s.duringUpload = [this] {
            events.quit.Set(); // the window shuts down while the file is on its way
        };
    };
    ASSERT_TRUE(trigger(false));
    ASSERT_TRUE(events.threadEnded.Wait(5000));
    events.threadEnded.Set(); // for TearDown
    EXPECT_EQ(host.done, 0);
    EXPECT_FALSE(t.has("QUIT"));
    EXPECT_TRUE(t.has("destroy session"));
}

TEST_F(WorkerFixture, ASecondRequestWhileACycleRunsIsRefused)
{
    std::mutex gate;
    gate.lock();
    configure = [&](FakeSession& s) { s.duringUpload = [&] { std::lock_guard g(gate); }; };
    ASSERT_TRUE(trigger(false));
    EXPECT_FALSE(trigger(false)); // the idle token is taken
    gate.unlock();
    ASSERT_TRUE(host.waitDone(1));
    ASSERT_TRUE(events.idle.Wait(2000));
    events.idle.Set();
    EXPECT_EQ(host.done, 1);
}

TEST_F(WorkerFixture, AFullDiskKeepsTheLocalPicturesAndFailsTheCycleWithTheReason)
{
    settings.archiveInterval = 1;
    settings.numberOfArchives = 2;
    const std::string slot1 = dir.path() + "/vistrel01.jpg";
    std::optional<test::FileSizeLimit> full;
    afterCompose = [&] { full.emplace(4); }; // the disk fills up once the picture is made
    const std::string reason =
        "Local Copy Error: Cannot write " + dir.path() + "/vistrel02.jpg: File too large";
    struct Case {
        bool ftp;
        std::string failOn;
        std::string text;
    };
    const Case cases[] = {
        {false, "", reason},
        {true, "", reason}, // the upload still goes on
        {true, "STOR",
         "FTP Error: (Upload) 550 refused: STOR vistrel.tmp from ~vistrel.jpg\n" + reason},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failOn);
        test::writeFile(settings.saveAsFilename, "the previous picture");
        test::writeFile(slot1, "an archived picture");
        settings.ftpUpload = c.ftp;
        configure = [&](FakeSession& s) { s.failOn = c.failOn; };
        t.lines.clear();
        runCycle();
        full.reset();
        EXPECT_EQ(host.lastResult, 0);
        EXPECT_EQ(host.lastText, c.text);
        EXPECT_EQ(t.has("STOR vistrel.tmp from ~vistrel.jpg"), c.ftp);
        EXPECT_EQ(test::readFile(settings.saveAsFilename), "the previous picture");
        EXPECT_EQ(test::readFile(slot1), "an archived picture");
    }
}
