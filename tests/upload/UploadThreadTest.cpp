#include "upload/UploadThread.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
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
    bool MakeDir(const std::string& d) override { return step("MKD " + d); }
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
    std::atomic<std::time_t> now{std::time(nullptr)}; // the clock that dates the copies

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
        worker->SetClock([this] { return now.load(); });
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

namespace {

// A session for the other targets, writing its calls into the transcript.
struct FakeTarget : TargetSession {
    Transcript& t;
    std::string failOn;
    std::string message;
    FakeTarget(Transcript& tr, std::string fail) : t(tr), failOn(std::move(fail)) {}
    ~FakeTarget() override { t.add("destroy target"); }
    bool step(const std::string& op)
    {
        t.add(op);
        if (!failOn.empty() && op.rfind(failOn, 0) == 0) {
            message = "the server says no to " + op;
            return false;
        }
        return true;
    }
    bool Open() override { return step("open"); }
    bool Store(const std::string& local, const std::string& name) override
    {
        return step("store " + name + " from " + local.substr(local.rfind('/') + 1));
    }
    bool Rename(const std::string& a, const std::string& b) override
    {
        return step("rename " + a + " " + b);
    }
    bool RenameTolerant(const std::string& a, const std::string& b) override
    {
        return step("move " + a + " " + b);
    }
    bool DeleteFile(const std::string& n) override { return step("delete " + n); }
    std::string Message() const override { return message; }
};

} // namespace

// The target word picks the session; each kind follows the FTP cycle's steps (S3 stores in
// place), fails with its own prefix and the server's reason, and an unknown word or a missing
// module refuses the cycle without falling back to FTP.
TEST_F(WorkerFixture, OtherTargetsFollowTheCycleAndAnUnknownWordRefusesIt)
{
    struct Case {
        const char* target;
        std::string failOn;
        bool noModule;
        V calls;
        int result;
        std::string text;
    } cases[] = {
        {"sftp", "", false,
         V{"make sftp", "open", "move live.jpg live01.jpg", "store live.tmp from ~vistrel.jpg",
           "rename live.tmp live.jpg", "destroy target", "done 1"},
         1, "12/8/26 10:00"},
        {" WebDAV ", "rename", false,
         V{"make webdav", "open", "move live.jpg live01.jpg", "store live.tmp from ~vistrel.jpg",
           "rename live.tmp live.jpg", "destroy target", "done 0"},
         0, "WebDAV Error: the server says no to rename live.tmp live.jpg"},
        {"s3", "store", false,
         V{"make s3", "open", "move live.jpg live01.jpg", "store live.jpg from ~vistrel.jpg",
           "destroy target", "done 0"},
         0, "S3 Error: (Upload) the server says no to store live.jpg from ~vistrel.jpg"},
        {"sftp", "open", false, V{"make sftp", "open", "destroy target", "done 0"}, 0,
         "SFTP Error: the server says no to open"},
        {"sftp", "", true, V{"done 0"}, 0, "SFTP Error: the module is not installed"},
        {"scp", "", false, V{"done 0"}, 0,
         "Upload Error: UploadOptions/UploadTarget=scp is not an upload target: it must be ftp, "
         "sftp, webdav or s3"},
    };
    settings.ftpFilename = "live.jpg";
    settings.archiveInterval = 1;
    settings.numberOfArchives = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target + (" " + c.failOn));
        t.lines.clear();
        settings.uploadTarget = c.target;
        worker->SetTargetSessions([&](const TargetSettings& ts, std::string* why) {
            std::unique_ptr<TargetSession> s;
            if (c.noModule) {
                *why = "the module is not installed";
                return s;
            }
            t.add(std::string("make ") + (ts.kind == TargetKind::Sftp     ? "sftp"
                                          : ts.kind == TargetKind::WebDav ? "webdav"
                                                                          : "s3"));
            s = std::make_unique<FakeTarget>(t, c.failOn);
            return s;
        });
        runCycle();
        EXPECT_EQ(t.get(), c.calls); // never an FTP session
        EXPECT_EQ(host.lastResult, c.result);
        EXPECT_EQ(host.lastText, c.text);
    }
}

// The command after each picture gets the picture, the result and the message in its
// environment, its output reaches the log, and one that hangs is ended at its limit together
// with what it started.
TEST_F(WorkerFixture, TheCommandAfterEachPictureSeesTheResultAndIsEndedAtItsLimit)
{
    const std::string envFile = dir.file("env.txt");
    const std::string script = dir.file("hook.sh");
    test::writeFile(script, "#!/bin/sh\n"
                            "printf '%s|%s|%s|%s\\n' \"$VISTREL_PICTURE\" \"$VISTREL_RESULT\" "
                            "\"$VISTREL_MESSAGE\" \"$1\" >> '" +
                                envFile +
                                "'\n"
                                "echo published; echo to stderr >&2\n"
                                "[ \"$1\" = hang ] && { sleep 60 & echo $! > '" +
                                dir.file("child.pid") + "'; sleep 60; }\nexit 3\n");
    ::chmod(script.c_str(), 0755);
    settings.ftpUpload = false;
    settings.afterPublish = "'" + script + "' \"two words\"";
    runCycle();
    settings.ftpUpload = true;
    settings.uploadTarget = "nowhere";
    runCycle();
    EXPECT_EQ(test::readFile(envFile), settings.saveAsFilename + "|ok|12/8/26 10:00|two words\n" +
                                           settings.saveAsFilename +
                                           "|failed|Upload Error: UploadOptions/UploadTarget="
                                           "nowhere is not an upload target: it must be ftp, "
                                           "sftp, webdav or s3|two words\n");
    const auto has = [&](const std::string& s) {
        std::lock_guard lock(host.mutex);
        return std::find(host.statuses.begin(), host.statuses.end(), s) != host.statuses.end();
    };
    EXPECT_TRUE(has(script + ": published"));
    EXPECT_TRUE(has(script + ": to stderr"));
    EXPECT_TRUE(has("After publish: " + script + " ended with status 3"));

    settings.afterPublish = script + " hang";
    settings.afterPublishTimeout = 1;
    const auto start = std::chrono::steady_clock::now();
    runCycle();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(has("After publish: " + script + " did not end within 1 s and was stopped"));
    const int child = std::stoi(test::readFile(dir.file("child.pid")));
    const auto gone = [&] {
        const std::string stat = test::readFile("/proc/" + std::to_string(child) + "/stat");
        return stat.empty() || stat.find(") Z") != std::string::npos; // ended, or a zombie
    };
    EXPECT_TRUE(test::waitUntil(gone, 2000)) << "the hook's own child outlived it";

    settings.afterPublish = "echo 'unclosed";
    runCycle();
    EXPECT_TRUE(has("After publish: UploadOptions/AfterPublish cannot be read: the command has "
                    "a ' without its closing '"));
}

// Dated copies beside the live picture: a new day gets its folders, locally and on the server,
// and the server's are made only when the folder changes.
TEST_F(WorkerFixture, DatedCopiesFollowTheClockOverMidnight)
{
    settings.saveAsPattern = "cam/%Y/%m/%d/%H%M%S.jpg";
    settings.remotePattern = "arch/%Y-%m-%d/%H%M%S.jpg";
    std::tm evening{};
    evening.tm_year = 2026 - 1900;
    evening.tm_mon = 11;
    evening.tm_mday = 8;
    evening.tm_hour = 23;
    evening.tm_min = 59;
    evening.tm_sec = 58;
    evening.tm_isdst = -1;
    const std::time_t lateEvening = std::mktime(&evening);
    const struct {
        std::time_t when;
        const char* local;
        V remote; // the calls after the live picture is in place
    } cycles[] = {
        {lateEvening,
         "cam/2026/12/08/235958.jpg",
         {"MKD arch", "MKD arch/2026-12-08", "STOR arch/2026-12-08/235958.tmp from ~vistrel.jpg",
          "RN arch/2026-12-08/235958.tmp arch/2026-12-08/235958.jpg"}},
        {lateEvening + 1,
         "cam/2026/12/08/235959.jpg",
         {"STOR arch/2026-12-08/235959.tmp from ~vistrel.jpg",
          "RN arch/2026-12-08/235959.tmp arch/2026-12-08/235959.jpg"}},
        {lateEvening + 4,
         "cam/2026/12/09/000002.jpg",
         {"MKD arch", "MKD arch/2026-12-09", "STOR arch/2026-12-09/000002.tmp from ~vistrel.jpg",
          "RN arch/2026-12-09/000002.tmp arch/2026-12-09/000002.jpg"}},
    };
    for (const auto& c : cycles) {
        t.lines.clear();
        now = c.when;
        runCycle();
        EXPECT_EQ(host.lastResult, 1) << host.lastText;
        EXPECT_EQ(test::readFile(dir.file(c.local)), "JPEG 12/8/26 10:00") << c.local;
        V expected{"LogOn cam.example:21 cam [] type 0", "STOR vistrel.tmp from ~vistrel.jpg",
                   "RN vistrel.tmp vistrel.jpg"};
        expected.insert(expected.end(), c.remote.begin(), c.remote.end());
        expected.insert(expected.end(), {"QUIT", "destroy session", "done 1"});
        EXPECT_EQ(sessionCalls(), expected);
    }
    EXPECT_EQ(test::readFile(settings.saveAsFilename), "JPEG 12/8/26 10:00");

    // A dated copy the server refuses fails the cycle with its reply; the next one makes the
    // folders again.
    configure = [](FakeSession& f) { f.failOn = "STOR arch/2026-12-09/000003.tmp"; };
    now = lateEvening + 5;
    runCycle();
    EXPECT_EQ(host.lastResult, 0);
    EXPECT_EQ(host.lastText, "FTP Error: (Dated copy) 550 refused: STOR "
                             "arch/2026-12-09/000003.tmp from ~vistrel.jpg");
    configure = [](FakeSession&) {};
    t.lines.clear();
    now = lateEvening + 6;
    runCycle();
    EXPECT_TRUE(t.has("MKD arch/2026-12-09"));

    // A pattern that gives no usable name fails the local copy and says why.
    settings.ftpUpload = false;
    settings.saveAsPattern = "../%Y.jpg";
    runCycle();
    EXPECT_EQ(host.lastResult, 0);
    EXPECT_EQ(host.lastText, "Local Copy Error: UploadOptions/SaveAsPattern=../%Y.jpg gives no "
                             "usable file name");
}
