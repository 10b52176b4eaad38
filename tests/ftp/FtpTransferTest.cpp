#include "ftp/FtpSession.h"
#include "ftp/SocketCalls.h"
#include "platform/PrivateTempDir.h"

#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <regex>

#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;
using namespace vistrel::test;
using Lines = std::vector<std::string>;
using Action = ScriptedFtpServer::Action;
using Fault = ScriptedFtpServer::DataFault;

namespace {

class Transfer : public ::testing::Test {
  protected:
    Transfer() : m_tmp(m_tmpBase.path()) {}
    void SetUp() override { s.SetTimeout(1); }
    void start()
    {
        ASSERT_TRUE(srv.start());
        m_fds = openFdCount();
        ASSERT_TRUE(s.LogOn("127.0.0.1", srv.port(), "cam", "secret", "", "", "", "", 0, 0));
    }
    std::string localFile(const std::string& bytes)
    {
        const std::string path = m_files.file("picture.jpg");
        writeFile(path, bytes);
        return path;
    }
    // Temporary copies left in the private temporary folder.
    int tempFiles() const
    {
        return countEntries(m_tmpBase.path() + "/vistrel-" + std::to_string(::getuid()));
    }
    // Ends the session and checks that nothing of it stays open.
    void quitAndCheckDescriptors()
    {
        s.Quit();
        srv.transcript();
        EXPECT_EQ(openFdCount(), m_fds);
    }
    // The transcript after the log-on.
    Lines commands()
    {
        Lines t = srv.transcript();
        if (t.size() >= 2 && t[0] == "USER cam" && t[1] == "PASS secret")
            t.erase(t.begin(), t.begin() + 2);
        return t;
    }

    TempDir m_tmpBase;
    TmpdirOverride m_tmp;
    TempDir m_files;
    ScriptedFtpServer srv;
    CFtpSession s;
    int m_fds = 0;
};

std::atomic<int> g_sendCalls{0};

// The second send of file data (a send of more than 1000 bytes) accepts only 1000 bytes.
ssize_t shortSecondSend(int fd, const void* data, size_t length, int flags)
{
    if (length > 1000 && ++g_sendCalls == 2)
        length = 1000;
    return systemSocketCalls().send(fd, data, length, flags);
}

// Runs once, at the first send of file data.
std::function<void()> g_onFirstDataSend;
ssize_t hookedSend(int fd, const void* data, size_t length, int flags)
{
    if (length > 1000 && g_onFirstDataSend) {
        g_onFirstDataSend();
        g_onFirstDataSend = nullptr;
    }
    return systemSocketCalls().send(fd, data, length, flags);
}

} // namespace

TEST_F(Transfer, PassiveUploadStoresTheFileAndLogsTheTransfer)
{
    TempDir logDir;
    const std::string content = patternBytes(10000);
    start();
    ASSERT_TRUE(s.OpenLog(logDir.file("ftp.log")));
    s.SetPassive(true);
    EXPECT_TRUE(s.UploadFile(localFile(content), "pic.jpg")) << s.Message();
    EXPECT_EQ(s.Message(), "226 Transfer complete\n");
    s.CloseLog();
    EXPECT_EQ(tempFiles(), 0);
    quitAndCheckDescriptors();
    EXPECT_EQ(commands(), (Lines{"TYPE I", "PASV", "STOR pic.jpg", "QUIT"}));
    EXPECT_EQ(srv.stored(), content);
    const std::string log = readFile(logDir.file("ftp.log"));
    EXPECT_NE(log.find("TYPE I\r\r\n200 Type set to I\r\n\r\r\nPASV\r\r\n227 Entering Passive Mode "
                       "(127,0,0,1,"),
              std::string::npos)
        << log;
    EXPECT_NE(
        log.find("STOR pic.jpg\r\r\n150 Ready for data\r\n\r\r\n226 Transfer complete\r\n\r\r\n"),
        std::string::npos)
        << log;
}

TEST_F(Transfer, ActiveUploadSendsPortWithTheControlConnectionsAddress)
{
    const std::string content = patternBytes(50000, 7);
    start();
    EXPECT_TRUE(s.UploadFile(localFile(content), "pic.jpg")) << s.Message();
    quitAndCheckDescriptors();
    const Lines t = commands();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], "TYPE I");
    EXPECT_TRUE(std::regex_match(t[1], std::regex("PORT 127,0,0,1,[0-9]+,[0-9]+"))) << t[1];
    EXPECT_EQ(t[2], "STOR pic.jpg");
    EXPECT_EQ(srv.stored(), content);
}

TEST_F(Transfer, AnEmptyFileOpensAndClosesTheDataConnection)
{
    start();
    s.SetPassive(true);
    EXPECT_TRUE(s.UploadFile(localFile(""), "empty.jpg")) << s.Message();
    EXPECT_EQ(srv.dataConnections(), 1);
    EXPECT_EQ(srv.stored(), "");
}

TEST_F(Transfer, AShortSendIsCompletedInOrder)
{
    // Larger than one transfer buffer, so that data goes out in several sends.
    const std::string content = patternBytes(CFtpSession::kTransferBufferSize * 2 + 12345, 3);
    start();
    SocketCallsGuard guard;
    socketCalls().send = shortSecondSend;
    for (bool passive : {true, false}) {
        g_sendCalls = 0;
        s.SetPassive(passive);
        EXPECT_TRUE(s.UploadFile(localFile(content), "pic.jpg")) << s.Message();
        EXPECT_GE(g_sendCalls.load(), 3);
        EXPECT_EQ(srv.stored(), content);
    }
}

// The upload sends the picture as it was when the upload began, although the writer replaces it
// (by rename) while the data moves, and no named copy of it exists meanwhile.
TEST_F(Transfer, TheUploadIsASnapshotWithoutANamedCopy)
{
    const std::string before = patternBytes(CFtpSession::kTransferBufferSize * 3, 5);
    const std::string path = localFile(before);
    start();
    SocketCallsGuard guard;
    socketCalls().send = hookedSend;
    int copiesDuringUpload = -1;
    g_onFirstDataSend = [&] {
        writeFile(path + ".new", patternBytes(1000, 6));
        ::rename((path + ".new").c_str(), path.c_str());
        copiesDuringUpload = tempFiles();
    };
    s.SetPassive(true);
    EXPECT_TRUE(s.UploadFile(path, "pic.jpg")) << s.Message();
    EXPECT_EQ(copiesDuringUpload, 0);
    EXPECT_EQ(srv.stored(), before);
    quitAndCheckDescriptors();
}

TEST_F(Transfer, StaleUploadCopiesOfEarlierVersionsAreRemoved)
{
    const std::string dir = PrivateTempDirectory();
    ASSERT_FALSE(dir.empty());
    // Only regular files named like the copies ("VSI" and six letters or digits) go.
    for (const char* name : {"VSIa1B2c3", "VSI000000", "VSIabc", "VSIabc1234", "VSI-x_y.z"})
        writeFile(dir + "/" + name, "old");
    ::mkdir((dir + "/VSIdir001").c_str(), 0700);
    ::symlink("/etc/hostname", (dir + "/VSIlink01").c_str());
    EXPECT_EQ(RemoveStaleUploadCopies(), 2);
    EXPECT_FALSE(fileExists(dir + "/VSIa1B2c3") || fileExists(dir + "/VSI000000"));
    EXPECT_EQ(countEntries(dir), 5);
}

TEST_F(Transfer, AMissingLocalFileFailsBeforeAnythingIsSent)
{
    start();
    EXPECT_FALSE(s.UploadFile(m_files.file("no-such.jpg"), "pic.jpg"));
    EXPECT_EQ(s.Message(), "CopyFile failed (2)");
    // Not a regular file: a folder, and a FIFO that would block a plain open.
    EXPECT_FALSE(s.UploadFile(m_files.path(), "pic.jpg"));
    EXPECT_EQ(s.Message(), "CopyFile failed (21)");
    ASSERT_EQ(::mkfifo(m_files.file("fifo.jpg").c_str(), 0600), 0);
    EXPECT_FALSE(s.UploadFile(m_files.file("fifo.jpg"), "pic.jpg"));
    EXPECT_EQ(s.Message(), "CopyFile failed (22)");
    EXPECT_FALSE(s.StoreFile("pic.jpg", m_files.file("no-such.jpg"), true));
    EXPECT_EQ(s.Message(), "Unable to open file on local machine");
    EXPECT_EQ(tempFiles(), 0);
    quitAndCheckDescriptors();
    EXPECT_EQ(commands(), Lines{"QUIT"});
}

// The PASV reply's port is used, its address is not: the data goes where the control connection
// goes. (Following the reply here would mean 127.0.0.2, where nothing listens.)
TEST_F(Transfer, PassiveDataGoesToTheControlConnectionsHost)
{
    srv.dataFault(Fault::PasvNamesOtherHost);
    srv.listing("a.jpg\r\n");
    const std::string content = patternBytes(20000, 8);
    start();
    s.SetPassive(true);
    EXPECT_TRUE(s.UploadFile(localFile(content), "pic.jpg")) << s.Message();
    EXPECT_EQ(srv.stored(), content);
    std::string listing;
    EXPECT_EQ(s.List(listing), 7) << s.Message();
    quitAndCheckDescriptors();
    EXPECT_EQ(commands(),
              (Lines{"TYPE I", "PASV", "STOR pic.jpg", "TYPE I", "PASV", "LIST", "QUIT"}));
}

// In active mode only the server's address may connect to the data port: a connection from
// elsewhere is closed unserved, and the server's own connection is still taken. (Taking the first
// one would send the picture to 127.0.0.2.)
TEST_F(Transfer, ActiveModeAcceptsOnlyTheServersAddress)
{
    const std::string content = patternBytes(20000, 9);
    srv.dataFault(Fault::IntruderFirst);
    start();
    EXPECT_TRUE(s.UploadFile(localFile(content), "pic.jpg")) << s.Message();
    EXPECT_EQ(srv.stored(), content);
    EXPECT_TRUE(srv.intruderClosed());
    EXPECT_EQ(srv.intruderReceived(), "");
    quitAndCheckDescriptors();
}

TEST_F(Transfer, PasvWithoutParenthesesSendsNoStor)
{
    srv.reply("PASV", "227 Entering Passive Mode 127,0,0,1,200,10");
    start();
    s.SetPassive(true);
    EXPECT_FALSE(s.UploadFile(localFile("abc"), "pic.jpg"));
    EXPECT_EQ(s.Message(), "227 Entering Passive Mode 127,0,0,1,200,10\n");
    quitAndCheckDescriptors();
    EXPECT_EQ(commands(), (Lines{"TYPE I", "PASV", "QUIT"}));
}

TEST_F(Transfer, ListingIsAlwaysPassiveAndCountsItsBytes)
{
    const std::string listing = "-rw-r--r-- 1 cam cam 10 Jan 1 00:00 a.jpg\r\n"
                                "drwxr-xr-x 2 cam cam 4096 Jan 1 00:00 archive\r\n";
    srv.listing(listing);
    start();
    s.SetPassive(false);
    std::string got = "kept:";
    EXPECT_EQ(s.List(got), static_cast<long long>(listing.size()));
    EXPECT_EQ(got, "kept:" + listing);
    quitAndCheckDescriptors();
    EXPECT_EQ(commands(), (Lines{"TYPE I", "PASV", "LIST", "QUIT"}));
}

TEST_F(Transfer, AnEmptyListingCountsAsNothing)
{
    start();
    std::string got;
    EXPECT_EQ(s.List(got), 0);
    EXPECT_EQ(s.Message(), "226 Transfer complete\n");
}

TEST_F(Transfer, AStalledListingEndsAtTheStallAndKeepsItsBytes)
{
    srv.listing("part of a listing\r\n");
    srv.dataFault(Fault::StallListing);
    start();
    s.SetListReceiveWait(1);
    std::string got;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(s.List(got), 19);
    EXPECT_EQ(got, "part of a listing\r\n");
    EXPECT_LT(secondsSince(t0), 3.0);
    quitAndCheckDescriptors();
}

TEST_F(Transfer, ListingRefusalsReturnZero)
{
    srv.reply("LIST", "550 No permission");
    srv.reply("LIST", "150 Here it comes");
    srv.finalReply("451 Aborted");
    srv.listing("x\r\n");
    start();
    std::string got;
    EXPECT_EQ(s.List(got), 0);
    EXPECT_EQ(s.Message(), "550 No permission\n");
    EXPECT_EQ(s.List(got), 0);
    EXPECT_EQ(s.Message(), "451 Aborted\n");
    quitAndCheckDescriptors();
}

// A refusal that closes the passive port before the client connects (proftpd does this for a
// STOR into a missing directory): the refusal is read, so the next command gets its own reply.
TEST_F(Transfer, ARefusalBeforeThePassiveConnectionKeepsTheSessionInStep)
{
    srv.dataFault(Fault::PasvRefused);
    srv.reply("STOR", "553 No such directory");
    srv.reply("LIST", "550 No such directory");
    srv.reply("CWD", "250 Directory changed");
    start();
    s.SetPassive(true);
    EXPECT_FALSE(s.UploadFile(localFile("picture"), "missing/pic.jpg"));
    EXPECT_EQ(s.Message(), "553 No such directory\n");
    std::string listing;
    EXPECT_EQ(s.List(listing), 0);
    EXPECT_EQ(s.Message(), "550 No such directory\n");
    EXPECT_TRUE(s.ChangeDir("..")) << s.Message();
    EXPECT_EQ(s.Message(), "250 Directory changed\n");
    quitAndCheckDescriptors();
}

// One fault at one step of an upload: each ends with its message within the time-out, leaves no
// temporary copy and no open descriptor.
struct FaultCase {
    std::string name;
    std::function<void(ScriptedFtpServer&)> script;
    bool passive;
    std::string message;
    size_t fileSize = 10000;
};

class UploadFault : public Transfer, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UploadFault, EndsWithItsMessage)
{
    const FaultCase& c = GetParam();
    c.script(srv);
    start();
    s.SetPassive(c.passive);
    const std::string path = localFile(std::string(c.fileSize, 'p'));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.UploadFile(path, "pic.jpg"));
    EXPECT_EQ(s.Message(), c.message);
    EXPECT_LT(secondsSince(t0), 4.0);
    EXPECT_EQ(tempFiles(), 0);
    quitAndCheckDescriptors();
}

namespace {

std::function<void(ScriptedFtpServer&)> replyWith(const std::string& verb, const std::string& text)
{
    return [=](ScriptedFtpServer& srv) { srv.reply(verb, text); };
}
std::function<void(ScriptedFtpServer&)> stallAt(const std::string& verb)
{
    return [=](ScriptedFtpServer& srv) { srv.stall(verb); };
}
std::function<void(ScriptedFtpServer&)> dropAt(const std::string& verb)
{
    return [=](ScriptedFtpServer& srv) { srv.drop(verb); };
}
std::function<void(ScriptedFtpServer&)> fault(Fault f, long long after = 0)
{
    return [=](ScriptedFtpServer& srv) {
        srv.dataFault(f, after);
        srv.dataReceiveBuffer(4096);
    };
}

const std::string kRead = "Network error (Read)";

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Steps, UploadFault,
    ::testing::Values(
        FaultCase{"TypeRefused", replyWith("TYPE", "504 Type not implemented"), true,
                  "504 Type not implemented\n"},
        FaultCase{"TypeGarbage", replyWith("TYPE", "hello there"), true, "hello there\n"},
        FaultCase{"TypeStalled", stallAt("TYPE"), true, kRead},
        FaultCase{"TypeDropped", dropAt("TYPE"), true, kRead},
        FaultCase{"PasvRefused", replyWith("PASV", "425 Cannot open passive connection"), true,
                  "425 Cannot open passive connection\n"},
        FaultCase{"PasvStalled", stallAt("PASV"), true, kRead},
        FaultCase{"PasvBadNumbers", replyWith("PASV", "227 Entering (1216,256,2,127,127,127)"),
                  true, "227 Entering (1216,256,2,127,127,127)\n"},
        FaultCase{"PasvPortClosed", fault(Fault::PasvRefused), true, "Unable to connect to server"},
        FaultCase{"PasvPortBlackHole", fault(Fault::PasvBlackHole), true,
                  "Unable to connect to server"},
        FaultCase{"PortRefused", replyWith("PORT", "500 Illegal PORT command"), false,
                  "500 Illegal PORT command\n"},
        FaultCase{"PortStalled", stallAt("PORT"), false, kRead},
        FaultCase{"StorRefusedPassive", replyWith("STOR", "553 Could not create file"), true,
                  "553 Could not create file\n"},
        FaultCase{"StorRefusedActive", replyWith("STOR", "553 Could not create file"), false,
                  "553 Could not create file\n"},
        FaultCase{"StorGarbage", replyWith("STOR", "HTTP/1.1 400 Bad Request"), true,
                  "HTTP/1.1 400 Bad Request\n"},
        FaultCase{"StorStalled", stallAt("STOR"), true, kRead},
        FaultCase{"StorDropped", dropAt("STOR"), false, kRead},
        FaultCase{"NeverConnectsBack", fault(Fault::NeverConnect), false,
                  "Failed to accept socket"},
        FaultCase{"FinalRefused",
                  [](ScriptedFtpServer& srv) { srv.finalReply("452 Insufficient storage"); }, true,
                  "452 Insufficient storage\n"},
        FaultCase{"FinalStalled",
                  [](ScriptedFtpServer& srv) {
                      srv.finalReply(Action{Action::Stall, {}, 0});
                  },
                  false, kRead},
        FaultCase{"ReaderStalls", fault(Fault::StallRead), true, "Time Out Error", 12u << 20},
        FaultCase{"DroppedMidStore", fault(Fault::DropMidStore, 20000), true,
                  "Data Channel Socket Error", 12u << 20}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return p.param.name; });

// A listing that never ends, or drips forever, is given up: at 16 MiB, at its time limit, or at
// the browser's Cancel, whichever comes first, with the reason as the message and no reply
// waited for.
TEST_F(Transfer, AHostileListingIsCutOffBySizeTimeOrCancel)
{
    struct Case {
        const char* what;
        Fault fault;
        int deadlineSeconds;
        int cancelAfterMs; // -1: never
        const char* message;
        double atMostSeconds;
    };
    const Case cases[] = {
        {"endless", Fault::EndlessListing, 120, -1, ftptext::kListingTooLarge, 20.0},
        {"drip", Fault::DripListing, 2, -1, ftptext::kListingTooSlow, 4.0},
        {"cancelled", Fault::DripListing, 120, 500, ftptext::kListingCancelled, 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedFtpServer server;
        server.dataFault(c.fault);
        ASSERT_TRUE(server.start());
        CFtpSession session;
        ASSERT_TRUE(session.LogOn("127.0.0.1", server.port(), "u", "p", "", "", "", "", 0, 0))
            << session.Message();
        session.SetListDeadline(c.deadlineSeconds);
        const auto t0 = std::chrono::steady_clock::now();
        if (c.cancelAfterMs >= 0)
            session.SetCancel([t0, ms = c.cancelAfterMs] {
                return std::chrono::steady_clock::now() - t0 > std::chrono::milliseconds(ms);
            });
        std::string listing;
        EXPECT_EQ(session.List(listing), 0);
        EXPECT_EQ(session.Message(), c.message);
        EXPECT_TRUE(listing.empty());
        EXPECT_LT(secondsSince(t0), c.atMostSeconds);
    }
}
