// The kind of failure each way a session can fail leaves beside its message, and the words the
// connect failures are explained with.
#include "ftp/FtpSession.h"

#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

bool haveIpv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

FtpConnection direct(const std::string& host, int port)
{
    FtpConnection c;
    c.host = host;
    c.port = port;
    c.user = "cam";
    c.password = "secret";
    c.timeout = 1;
    return c;
}

} // namespace

TEST(FailureKind, EachLogOnFailureSaysWhatKindItIs)
{
    const int closed = freeLoopbackPort();
    BlackHole hole;
    ScriptedFtpServer wrongPassword;
    wrongPassword.reply("PASS", "530 Login incorrect");
    ASSERT_TRUE(wrongPassword.start());
    ScriptedFtpServer silent;
    silent.greeting(ScriptedFtpServer::Action{ScriptedFtpServer::Action::Stall, {}, 0});
    ASSERT_TRUE(silent.start());
    ScriptedFtpServer dropping;
    dropping.drop("USER");
    ASSERT_TRUE(dropping.start());
    ScriptedFtpServer fine;
    ASSERT_TRUE(fine.start());

    const std::string here = "127.0.0.1:" + std::to_string(closed);
    struct Row {
        const char* name;
        FtpConnection connection;
        FtpFailure kind;
        std::string message;
        std::string cause; // ConnectCause() begins with this
        bool ipv6 = false;
    };
    FtpConnection lineBreak = direct("127.0.0.1", fine.port());
    lineBreak.user = "cam\r\nDELE x";
    FtpConnection badProxyType = direct("127.0.0.1", fine.port());
    badProxyType.logonType = 4;
    FtpConnection tlsThroughProxy = direct("ftphost", 21);
    tlsThroughProxy.logonType = 5;
    tlsThroughProxy.proxyHost = "127.0.0.1";
    tlsThroughProxy.proxyPort = fine.port();
    tlsThroughProxy.security.security = 1;
    const Row rows[] = {
        {"nothing listens", direct("127.0.0.1", closed), FtpFailure::ConnectRefused,
         ftptext::kConnect, "connection refused: nothing listens on " + here},
        {"nothing listens on ::1", direct("::1", closed), FtpFailure::ConnectRefused,
         ftptext::kConnect,
         "connection refused: nothing listens on [::1]:" + std::to_string(closed), true},
        {"bracketed ::1", direct("[::1]", closed), FtpFailure::ConnectRefused, ftptext::kConnect,
         "connection refused: nothing listens on [::1]:" + std::to_string(closed), true},
        {"no such name", direct("no-such-host.invalid", 21), FtpFailure::NameNotFound,
         ftptext::kConnect, "name not found: "},
        {"no answer", direct("127.0.0.1", hole.port()), FtpFailure::ConnectTimedOut,
         ftptext::kConnect, "timed out after 1 s"},
        {"no greeting", direct("127.0.0.1", silent.port()), FtpFailure::TimedOut, ftptext::kRead,
         ""},
        {"dropped", direct("127.0.0.1", dropping.port()), FtpFailure::Network, ftptext::kRead, ""},
        {"wrong password", direct("127.0.0.1", wrongPassword.port()), FtpFailure::Refused,
         "530 Login incorrect\n", ""},
        {"line break", lineBreak, FtpFailure::Settings, ftptext::kLineBreak, ""},
        {"proxy type", badProxyType, FtpFailure::Settings, ftptext::kProxyType, ""},
        {"TLS through a proxy", tlsThroughProxy, FtpFailure::Settings, ftptext::kProxyTls, ""},
        {"logged on", direct("127.0.0.1", fine.port()), FtpFailure::None, "230 Logged in\n", ""},
    };
    const bool ipv6 = haveIpv6Loopback();
    if (!ipv6)
        std::fprintf(stderr, "This machine has no IPv6 loopback address (::1): its rows are "
                             "skipped\n");
    for (const Row& row : rows) {
        if (row.ipv6 && !ipv6)
            continue;
        SCOPED_TRACE(row.name);
        CFtpSession s;
        EXPECT_EQ(s.LogOn(row.connection), row.kind == FtpFailure::None);
        EXPECT_EQ(s.Failure(), row.kind);
        EXPECT_EQ(s.Message(), row.message);
        EXPECT_EQ(s.ConnectCause().substr(0, row.cause.size()), row.cause) << s.ConnectCause();
        EXPECT_EQ(s.ConnectCause().empty(), row.cause.empty()) << s.ConnectCause();
        EXPECT_EQ(IsConnectFailure(s.Failure()), !row.cause.empty());
        s.Quit();
    }
}

TEST(FailureKind, TransfersSayWhetherTheServerTheNetworkOrTheLocalFileFailed)
{
    TempDir dir;
    writeFile(dir.file("pic.jpg"), "picture");
    struct Row {
        const char* name;
        std::function<void(ScriptedFtpServer&)> script;
        std::string local;
        FtpFailure kind;
    };
    const Row rows[] = {
        {"stored", [](ScriptedFtpServer&) {}, "pic.jpg", FtpFailure::None},
        {"refused", [](ScriptedFtpServer& s) { s.reply("STOR", "553 Not allowed"); }, "pic.jpg",
         FtpFailure::Refused},
        {"no data address", [](ScriptedFtpServer& s) { s.reply("PASV", "227 Nothing here"); },
         "pic.jpg", FtpFailure::Refused},
        {"dropped", [](ScriptedFtpServer& s) { s.drop("TYPE"); }, "pic.jpg", FtpFailure::Network},
        {"no such file", [](ScriptedFtpServer&) {}, "missing.jpg", FtpFailure::LocalFile},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedFtpServer srv;
        row.script(srv);
        ASSERT_TRUE(srv.start());
        FtpConnection c = direct("127.0.0.1", srv.port());
        c.passive = true;
        CFtpSession s;
        ASSERT_TRUE(s.LogOn(c));
        EXPECT_EQ(s.UploadFile(dir.file(row.local), "pic.jpg"), row.kind == FtpFailure::None)
            << s.Message();
        EXPECT_EQ(s.Failure(), row.kind) << s.Message();
    }
}
