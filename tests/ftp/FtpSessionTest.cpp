#include "ftp/FtpSession.h"
#include "ftp/LogOnTable.h"

#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;
using namespace vistrel::test;
using Lines = std::vector<std::string>;

namespace {

class Session : public ::testing::Test {
  protected:
    void SetUp() override { s.SetTimeout(1); }
    void start() { ASSERT_TRUE(srv.start()); }
    bool logOnDirect(const std::string& user = "cam", const std::string& password = "secret")
    {
        return s.LogOn("127.0.0.1", srv.port(), user, password, "", "", "", "", 0, 0);
    }
    // The FTP server is ftphost:2121 behind the scripted proxy.
    bool logOnProxy(int type)
    {
        return s.LogOn("ftphost", 2121, "cam", "secret", "", "127.0.0.1", "pu", "ppw", srv.port(),
                       type);
    }
    ScriptedFtpServer srv;
    CFtpSession s;
};

} // namespace

TEST_F(Session, DirectLogOnSendsUserAndPassAndLogsOn)
{
    start();
    EXPECT_TRUE(logOnDirect());
    EXPECT_EQ(s.Message(), "230 Logged in\n");
    EXPECT_EQ(s.ReplyClass(), 2);
    s.Quit();
    EXPECT_EQ(srv.transcript(), (Lines{"USER cam", "PASS secret", "QUIT"}));
    EXPECT_EQ(srv.rawInput(), "USER cam\r\nPASS secret\r\nQUIT\r\n");
}

TEST_F(Session, DirectLogOnBranchesOnTheReplyClass)
{
    srv.reply("USER", "230 No password needed");
    start();
    EXPECT_TRUE(logOnDirect());
    s.Quit();
    EXPECT_EQ(srv.transcript(), (Lines{"USER cam", "QUIT"}));
}

TEST_F(Session, AccountIsSentEmptyAndMustBeAnsweredWith2xx)
{
    srv.reply("PASS", "332 Need account");
    srv.reply("ACCT", "230 Account ok");
    srv.reply("PASS", "332 Need account");
    srv.reply("ACCT", "332 Still need account");
    start();
    EXPECT_TRUE(logOnDirect());
    CFtpSession second;
    second.SetTimeout(1);
    s.Quit();
    EXPECT_FALSE(second.LogOn("127.0.0.1", srv.port(), "cam", "secret", "", "", "", "", 0, 0));
    EXPECT_EQ(second.Message(), "Logon failed");
    second.Quit();
    EXPECT_EQ(srv.transcript(), (Lines{"USER cam", "PASS secret", "ACCT ", "QUIT", "USER cam",
                                       "PASS secret", "ACCT ", "QUIT"}));
}

TEST_F(Session, LogOnFailsAtOnceOnOther_Classes)
{
    srv.reply("PASS", "530 Login incorrect.");
    start();
    EXPECT_FALSE(logOnDirect());
    EXPECT_EQ(s.Message(), "530 Login incorrect.\n");
    EXPECT_EQ(s.ReplyClass(), 5);
}

TEST_F(Session, GreetingMustBe2xx)
{
    srv.greeting("120 Service ready in 5 minutes");
    start();
    EXPECT_FALSE(logOnDirect());
    EXPECT_EQ(s.Message(), "120 Service ready in 5 minutes\n");
    s.Quit();
    EXPECT_EQ(srv.transcript(), (Lines{"QUIT"}));
}

TEST_F(Session, MultiLineRepliesEndAtTheirOwnCodeFollowedByASpace)
{
    srv.greeting("220-first\r\n220-second\r\n220\r\n231 other\r\n220 last");
    srv.reply("USER", "230-x\r\n231 y\r\n 230 indented\r\n230 z");
    srv.reply("NOOP", "200");
    start();
    ASSERT_TRUE(logOnDirect());
    EXPECT_EQ(s.Message(), "230 z\n");
    EXPECT_TRUE(s.Command("NOOP")); // a bare code is a complete reply
    EXPECT_EQ(s.Message(), "200\n");
    EXPECT_TRUE(s.ChangeDir("/pics"));
    EXPECT_EQ(s.Message(), "250 Directory changed\n");
}

TEST_F(Session, MultiLineGreetingKeepsTheLastLine)
{
    srv.greeting("220-first\r\n220-second\r\n220 last");
    start();
    ASSERT_TRUE(s.Connect("127.0.0.1", srv.port()));
    EXPECT_TRUE(s.Command(""));
    EXPECT_EQ(s.Message(), "220 last\n");
    EXPECT_EQ(s.ReplyClass(), 2);
}

TEST_F(Session, ARepliesSplitOverSeveralPacketsIsOneReply)
{
    srv.greeting(ScriptedFtpServer::raw({"22", "0-a\r", "\n220", " b\r\n"}, 60));
    start();
    ASSERT_TRUE(s.Connect("127.0.0.1", srv.port()));
    EXPECT_TRUE(s.Command(""));
    EXPECT_EQ(s.Message(), "220 b\n");
}

TEST_F(Session, AnOverlongReplyLineKeepsItsBeginningAndDropsTheRest)
{
    srv.reply("NOOP", "200 " + std::string(8000, 'x'));
    // An over-long continuation line, arriving in pieces, inside a multi-line reply.
    srv.reply("STAT",
              ScriptedFtpServer::raw({"211-" + std::string(10000, 'a'),
                                      std::string(20000, 'b') + "\r\n211-c\r\n", "211 End\r\n"},
                                     20));
    start();
    ASSERT_TRUE(logOnDirect());
    EXPECT_TRUE(s.Command("NOOP"));
    EXPECT_EQ(s.Message(), "200 " + std::string(7004, 'x') + "\n"); // the line buffer's worth
    EXPECT_TRUE(s.Command("STAT"));
    EXPECT_EQ(s.Message(), "211 End\n");
    // The dropped rest was not taken for the replies of later commands.
    EXPECT_TRUE(s.ChangeDir("/pics"));
    EXPECT_EQ(s.Message(), "250 Directory changed\n");
    s.Quit();
    EXPECT_EQ(srv.transcript(),
              (Lines{"USER cam", "PASS secret", "NOOP", "STAT", "CWD /pics", "QUIT"}));
}

TEST_F(Session, RepliesEndingInLfAloneTimeOut)
{
    srv.greeting(ScriptedFtpServer::raw({"220 Ready\n"}));
    start();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(logOnDirect());
    EXPECT_EQ(s.Message(), "Network error (Read)");
    EXPECT_LT(secondsSince(t0), 3.0);
}

namespace {

std::chrono::steady_clock::time_point g_floodEnd;

int alwaysReady(pollfd* fds, nfds_t count, int)
{
    for (nfds_t i = 0; i < count; ++i)
        fds[i].revents = fds[i].events;
    return static_cast<int>(count);
}

ssize_t floodRecv(int, void* data, size_t length, int)
{
    if (std::chrono::steady_clock::now() >= g_floodEnd)
        return 0;
    static const std::string line = "220-flood\r\n";
    auto* out = static_cast<char*>(data);
    for (size_t i = 0; i < length; ++i)
        out[i] = line[i % line.size()];
    return static_cast<ssize_t>(length - length % line.size());
}

} // namespace

// A reply must be complete within the time-out from its first byte, however the server spreads
// it out: a cycle (and vistreld --once) never hangs on a chatty server.
TEST(ReplyDeadline, RepliesThatNeverEndStopAtTheTimeOut)
{
    using Action = ScriptedFtpServer::Action;
    const auto repeated = [](const std::string& chunk, int times, int pauseMs) {
        return ScriptedFtpServer::raw(std::vector<std::string>(static_cast<size_t>(times), chunk),
                                      pauseMs);
    };
    std::vector<std::string> trickle;
    for (char c : "220 " + std::string(100, 'x') + "\r\n")
        trickle.emplace_back(1, c);
    struct Case {
        const char* name;
        Action greeting;
        Action userReply;
    };
    const Case cases[] = {
        {"continuation lines every 200 ms", repeated("220-still going\r\n", 50, 200),
         ScriptedFtpServer::line("331 Password required")},
        {"a greeting trickled byte by byte", ScriptedFtpServer::raw(trickle, 100),
         ScriptedFtpServer::line("331 Password required")},
        {"a reply to USER that keeps going", ScriptedFtpServer::line("220 Ready"),
         repeated("331-wait\r\n", 50, 200)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer srv;
        srv.greeting(c.greeting);
        srv.reply("USER", c.userReply);
        ASSERT_TRUE(srv.start());
        CFtpSession s;
        s.SetTimeout(1);
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_FALSE(s.LogOn("127.0.0.1", srv.port(), "cam", "pw", "", "", "", "", 0, 0));
        EXPECT_EQ(s.Message(), "Network error (Read)");
        EXPECT_GE(secondsSince(t0), 0.9);
        EXPECT_LT(secondsSince(t0), 2.5);
    }

    // A peer that floods continuation lines faster than they can be read: data is always ready,
    // so no wait ever expires, and the reply still ends. (The flood itself stops after 10 s.)
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    SocketCallsGuard guard;
    socketCalls().poll = alwaysReady;
    socketCalls().recv = floodRecv;
    g_floodEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    CFtpSession s;
    s.SetTimeout(1);
    ASSERT_TRUE(s.AttachControl(fds[0]));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.ReadReply());
    EXPECT_EQ(s.Message(), "Network error (Read)");
    EXPECT_LT(secondsSince(t0), 2.5);
    ::close(fds[1]);
}

TEST_F(Session, ConnectFailuresAreBoundedAndReported)
{
    s.SetTimeout(1);
    EXPECT_FALSE(s.LogOn("127.0.0.1", freeLoopbackPort(), "cam", "pw", "", "", "", "", 0, 0));
    EXPECT_EQ(s.Message(), "Unable to connect to server");

    BlackHole hole;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.LogOn("127.0.0.1", hole.port(), "cam", "pw", "", "", "", "", 0, 0));
    EXPECT_EQ(s.Message(), "Unable to connect to server");
    EXPECT_LT(secondsSince(t0), 3.0);
}

// The proxy log-on types, each with the transcript the proxy must see.
struct ProxyCase {
    std::string name; // the test's name: only letters, digits and '_'
    int type;
    std::vector<std::pair<std::string, std::string>> replies;
    Lines transcript;
    bool loggedOn;
};

class ProxyLogOn : public Session, public ::testing::WithParamInterface<ProxyCase> {};

TEST_P(ProxyLogOn, FollowsItsSequence)
{
    const ProxyCase& c = GetParam();
    for (const auto& [verb, text] : c.replies)
        srv.reply(verb, text);
    start();
    EXPECT_EQ(logOnProxy(c.type), c.loggedOn) << s.Message();
    if (!c.loggedOn) {
        EXPECT_EQ(s.Message(), "Logon failed");
    }
    s.Quit();
    Lines expected = c.transcript;
    expected.push_back("QUIT");
    EXPECT_EQ(srv.transcript(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ProxyLogOn,
    ::testing::Values(
        // 1: proxy log-on, then SITE, which must be answered 3xx, then the server's USER/PASS.
        ProxyCase{"Type1",
                  1,
                  {{"USER", "331 proxy pass"}, {"PASS", "230 proxy ok"}, {"SITE", "331 site ok"}},
                  {"USER pu", "PASS ppw", "SITE ftphost:2121", "USER cam", "PASS secret"},
                  true},
        ProxyCase{"Type1SiteNot3xx",
                  1,
                  {{"USER", "230 proxy ok"}, {"SITE", "200 site"}},
                  {"USER pu", "SITE ftphost:2121"},
                  false},
        ProxyCase{"Type2",
                  2,
                  {{"USER", "331 proxy pass"}, {"PASS", "230 proxy ok"}},
                  {"USER pu", "PASS ppw", "USER cam@ftphost:2121", "PASS secret"},
                  true},
        // 3: a 2xx or a 3xx to OPEN both go on with USER.
        ProxyCase{"Type3Open2xx",
                  3,
                  {{"OPEN", "220 connected"}},
                  {"OPEN ftphost:2121", "USER cam", "PASS secret"},
                  true},
        ProxyCase{"Type3Open3xx",
                  3,
                  {{"OPEN", "331 go on"}},
                  {"OPEN ftphost:2121", "USER cam", "PASS secret"},
                  true},
        ProxyCase{"Type5", 5, {}, {"USER cam@ftphost:2121", "PASS secret"}, true},
        ProxyCase{"Type6",
                  6,
                  {{"USER", "331 proxy pass"}, {"PASS", "230 proxy ok"}},
                  {"USER pu@ftphost:2121", "PASS ppw", "USER cam", "PASS secret"},
                  true},
        // 7: the combined USER must be answered 3xx.
        ProxyCase{"Type7", 7, {}, {"USER cam@ftphost:2121 pu", "PASS secret"}, true},
        ProxyCase{
            "Type7UserNot3xx", 7, {{"USER", "230 too early"}}, {"USER cam@ftphost:2121 pu"}, false},
        ProxyCase{"Type8", 8, {}, {"USER cam@pu@ftphost:2121", "PASS secret@ppw"}, true}),
    [](const ::testing::TestParamInfo<ProxyCase>& p) { return p.param.name; });

TEST_F(Session, ServerTextHasNoPortFor21)
{
    start();
    EXPECT_TRUE(s.LogOn("ftphost", 21, "cam", "secret", "", "127.0.0.1", "", "", srv.port(), 5));
    s.Quit();
    EXPECT_EQ(srv.transcript(), (Lines{"USER cam@ftphost", "PASS secret", "QUIT"}));
}

TEST_F(Session, UnknownLogOnTypesAreRefusedBeforeConnecting)
{
    start();
    // A stored proxy type outside the list maps to no log-on type.
    for (int type : {4, 9, -1, LogonTypeForProxy(true, 7)}) {
        EXPECT_FALSE(logOnProxy(type));
        EXPECT_EQ(s.Message(), "The proxy type is not valid");
    }
    EXPECT_EQ(srv.transcript(), Lines{});
    EXPECT_EQ(srv.rawInput(), "");
}

TEST_F(Session, LineBreaksInValuesAreRefusedBeforeAnythingIsSent)
{
    start();
    EXPECT_FALSE(logOnDirect("cam\r\nDELE index.html"));
    EXPECT_EQ(s.Message(), ftptext::kLineBreak);
    EXPECT_FALSE(logOnDirect("cam", "pw\nSITE CHMOD 777 x"));
    EXPECT_FALSE(s.LogOn("ftp\rhost", 21, "cam", "pw", "", "127.0.0.1", "", "", srv.port(), 5));
    EXPECT_EQ(srv.rawInput(), ""); // not even a connection

    ASSERT_TRUE(logOnDirect());
    EXPECT_FALSE(s.ChangeDir("/pics\r\nDELE a"));
    EXPECT_EQ(s.Message(), ftptext::kLineBreak);
    EXPECT_FALSE(s.MakeDir("a\nb"));
    EXPECT_FALSE(s.DeleteFile(std::string("a\0b", 3)));
    EXPECT_FALSE(s.RenameTolerant("a.jpg", "b\r\n.jpg"));
    EXPECT_FALSE(s.Rename("a\n", "b"));
    EXPECT_FALSE(s.Command("NOOP\r\nDELE x"));
    EXPECT_FALSE(s.UploadFile("/nonexistent", "x\ny"));
    EXPECT_EQ(s.Message(), ftptext::kLineBreak);
    s.Quit();
    EXPECT_EQ(srv.transcript(), (Lines{"USER cam", "PASS secret", "QUIT"}));
}

TEST_F(Session, DeleteAndRenameToleranceFollowsThe550Rule)
{
    srv.reply("DELE", "550 No such file");
    srv.reply("DELE", "450 File busy");
    srv.reply("RNFR", "550 No such file");
    srv.reply("RNFR", "550 No such file");
    srv.reply("RNFR", "450 Busy");
    srv.reply("RNTO", "553 Not allowed");
    start();
    ASSERT_TRUE(logOnDirect());
    EXPECT_TRUE(s.DeleteFile("a.jpg"));
    EXPECT_FALSE(s.DeleteFile("b.jpg"));
    EXPECT_EQ(s.Message(), "450 File busy\n");
    EXPECT_TRUE(s.RenameTolerant("c.jpg", "d.jpg")); // no RNTO after a 550
    EXPECT_FALSE(s.Rename("c.jpg", "d.jpg"));
    EXPECT_EQ(s.Message(), "550 No such file\n");
    EXPECT_FALSE(s.RenameTolerant("e.jpg", "f.jpg"));
    EXPECT_FALSE(s.Rename("g.jpg", "h.jpg")); // RNTO refused
    EXPECT_EQ(s.Message(), "553 Not allowed\n");
    EXPECT_TRUE(s.Rename("i.jpg", "j.jpg"));
    EXPECT_TRUE(s.DeleteFile("k.jpg"));
    EXPECT_TRUE(s.MakeDir("new dir"));
    s.Quit();
    EXPECT_EQ(srv.transcript(),
              (Lines{"USER cam", "PASS secret", "DELE a.jpg", "DELE b.jpg", "RNFR c.jpg",
                     "RNFR c.jpg", "RNFR e.jpg", "RNFR g.jpg", "RNTO h.jpg", "RNFR i.jpg",
                     "RNTO j.jpg", "DELE k.jpg", "MKD new dir", "QUIT"}));
}

TEST_F(Session, QuitReadsNoReplyAndClosesTheConnection)
{
    srv.stall("QUIT");
    start();
    const int fds = openFdCount();
    ASSERT_TRUE(logOnDirect());
    const auto t0 = std::chrono::steady_clock::now();
    s.Quit();
    EXPECT_LT(secondsSince(t0), 0.5);
    srv.transcript(); // the server has seen the connection end
    EXPECT_EQ(openFdCount(), fds);
    EXPECT_FALSE(s.Command("NOOP"));
    EXPECT_EQ(s.Message(), "Network error (Write)");
}

TEST_F(Session, StallsAndDropsAtAnyLogOnStepEndAsReadErrors)
{
    srv.stall("PASS");
    start();
    const int fds = openFdCount();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(logOnDirect());
    EXPECT_EQ(s.Message(), "Network error (Read)");
    EXPECT_LT(secondsSince(t0), 3.0);
    s.Quit();
    srv.transcript();
    EXPECT_EQ(openFdCount(), fds);

    ScriptedFtpServer other;
    other.drop("USER");
    ASSERT_TRUE(other.start());
    CFtpSession t;
    t.SetTimeout(1);
    EXPECT_FALSE(t.LogOn("127.0.0.1", other.port(), "cam", "pw", "", "", "", "", 0, 0));
    EXPECT_EQ(t.Message(), "Network error (Read)");

    ScriptedFtpServer silent;
    silent.greeting(ScriptedFtpServer::Action{ScriptedFtpServer::Action::Stall, {}, 0});
    ASSERT_TRUE(silent.start());
    CFtpSession u;
    u.SetTimeout(1);
    EXPECT_FALSE(u.LogOn("127.0.0.1", silent.port(), "cam", "pw", "", "", "", "", 0, 0));
    EXPECT_EQ(u.Message(), "Network error (Read)");
}

TEST_F(Session, LogHoldsTheConversationInTextModeBytes)
{
    TempDir dir;
    const std::string path = dir.file("ftp.log");
    writeFile(path, "old content that must go");
    srv.reply("CWD", "550 No such directory");
    start();
    ASSERT_TRUE(s.OpenLog(path));
    ASSERT_TRUE(logOnDirect());
    EXPECT_FALSE(s.ChangeDir("/missing"));
    s.Quit(); // not logged
    s.CloseLog();
    EXPECT_EQ(readFile(path), "220 Scripted server ready\r\n\r\r\n"
                              "USER cam\r\r\n"
                              "331 Password required\r\n\r\r\n"
                              "PASS secret\r\r\n"
                              "230 Logged in\r\n\r\r\n"
                              "CWD /missing\r\r\n"
                              "550 No such directory\r\n\r\r\n");
}

TEST_F(Session, LogRecordsAFailedReadAsTheMessage)
{
    TempDir dir;
    srv.stall("USER");
    start();
    ASSERT_TRUE(s.OpenLog(dir.file("ftp.log")));
    EXPECT_FALSE(s.OpenLog(dir.file("other.log"))); // the open log stays
    EXPECT_FALSE(logOnDirect());
    s.CloseLog();
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("ftp.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // it holds passwords
    EXPECT_EQ(readFile(dir.file("ftp.log")),
              "220 Scripted server ready\r\n\r\r\nUSER cam\r\r\nNetwork error (Read)\r\r\n");
    EXPECT_FALSE(s.OpenLog(dir.file("missing-folder/ftp.log")));
    EXPECT_FALSE(s.LogOpen());

    // A log that others could read (left by an older version, or made by hand) becomes private
    // when it is opened again.
    ASSERT_EQ(::chmod(dir.file("ftp.log").c_str(), 0644), 0);
    CFtpSession again;
    ASSERT_TRUE(again.OpenLog(dir.file("ftp.log")));
    again.CloseLog();
    ASSERT_EQ(::stat(dir.file("ftp.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A name that does not resolve leaves no socket behind; QUIT after the failed log-on (as
// vistreld --check-ftp and the browser do) must not sit out the time-out on it.
TEST(SessionConnect, QuitAfterANameThatDoesNotResolveReturnsAtOnce)
{
    CFtpSession s;
    s.SetTimeout(5);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.LogOn("no such host.invalid", 21, "cam", "secret", "", "", "", "", 0, 0));
    EXPECT_EQ(s.Message(), "Unable to connect to server");
    s.Quit();
    EXPECT_LT(secondsSince(start), 1.0);
}
