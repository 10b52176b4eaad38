// The FTP session against real servers on 127.0.0.1: pyftpdlib, proftpd, vsftpd, and proftpd's
// forward proxy for the proxy log-on types it implements.
#include "ftp/FtpSession.h"

#include "FtpTestSupport.h"
#include "RealFtpServers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

constexpr int kTimeout = 5;

struct Login {
    std::string user = "cam";
    std::string password = "secret";
    std::string folder; // where the test may write ("" = the FTP root)
};

// Log on, make a folder, upload through a temporary name and rename it into place, tolerate a
// missing file, list, delete: what an upload cycle and the directory browser do.
void exercise(int port, const std::string& rootOnDisk, const Login& login, bool passive)
{
    TempDir local;
    TempDir tmp;
    TmpdirOverride tmpdir(tmp.path());
    const std::string picture = patternBytes(300000, passive ? 11 : 12);
    writeFile(local.file("picture.jpg"), picture);
    const int fds = openFdCount();
    {
        CFtpSession s;
        s.SetTimeout(kTimeout);
        s.SetPassive(passive);
        ASSERT_TRUE(s.OpenLog(local.file("ftp.log")));
        ASSERT_TRUE(s.LogOn("127.0.0.1", port, login.user, login.password, "", "", "", "", 0, 0))
            << s.Message();
        const std::string cams = passive ? "cams-passive" : "cams-active";
        const std::string dir = login.folder.empty() ? cams : login.folder + "/" + cams;
        ASSERT_TRUE(s.MakeDir(dir)) << s.Message();
        ASSERT_TRUE(s.ChangeDir(dir)) << s.Message();
        ASSERT_TRUE(s.UploadFile(local.file("picture.jpg"), "upload.tmp")) << s.Message();
        ASSERT_TRUE(s.Rename("upload.tmp", "pic.jpg")) << s.Message();
        EXPECT_EQ(readFile(rootOnDisk + "/" + dir + "/pic.jpg"), picture);
        EXPECT_TRUE(s.RenameTolerant("missing.jpg", "pic-01.jpg")) << s.Message();
        EXPECT_FALSE(s.Rename("missing.jpg", "pic-01.jpg"));
        EXPECT_TRUE(s.DeleteFile("missing.jpg")) << s.Message();
        EXPECT_TRUE(s.RenameTolerant("pic.jpg", "pic-01.jpg")) << s.Message();
        std::string listing;
        EXPECT_GT(s.List(listing), 0) << s.Message();
        EXPECT_NE(listing.find("pic-01.jpg"), std::string::npos) << listing;
        EXPECT_TRUE(s.DeleteFile("pic-01.jpg")) << s.Message();
        EXPECT_FALSE(fileExists(rootOnDisk + "/" + dir + "/pic-01.jpg"));
        EXPECT_FALSE(s.ChangeDir("no-such-folder"));
        EXPECT_EQ(s.Message().substr(0, 3), "550");
        s.Quit();
    }
    EXPECT_EQ(openFdCount(), fds);
    EXPECT_EQ(countEntries(tmp.path() + "/vistrel-" + std::to_string(::getuid())), 0);
    const std::string log = readFile(local.file("ftp.log"));
    if (!login.password.empty()) {
        EXPECT_NE(log.find("PASS " + login.password + "\r\r\n"), std::string::npos) << log;
    }
    EXPECT_NE(log.find("STOR upload.tmp\r\r\n"), std::string::npos) << log;
}

} // namespace

TEST(RealServer, Pyftpdlib)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        exercise(server.port(), server.root(), Login{}, passive);
    }
}

TEST(RealServer, Proftpd)
{
    ProFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        exercise(server.port(), server.root(), Login{}, passive);
    }
}

TEST(RealServer, VsftpdAnonymous)
{
    VsFtpdServer server;
    ASSERT_TRUE(server.start()) << server.error();
    Login anonymous{"anonymous", "", "pub"};
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        exercise(server.port(), server.root(), anonymous, passive);
    }
}

TEST(RealServer, WrongPasswordIsTheServersReply)
{
    ProFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    CFtpSession s;
    s.SetTimeout(kTimeout);
    EXPECT_FALSE(s.LogOn("127.0.0.1", server.port(), "cam", "wrong", "", "", "", "", 0, 0));
    EXPECT_EQ(s.Message().substr(0, 4), "530 ") << s.Message();
}

// Log-on types 2, 5 and 6 through proftpd's forward proxy to a pyftpdlib server.
class ForwardProxy : public ::testing::TestWithParam<int> {};

TEST_P(ForwardProxy, LogsOnAndTransfers)
{
    const int type = GetParam();
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    ProFtpdForwardProxy proxy;
    ASSERT_TRUE(proxy.start("pu", "proxysecret")) << proxy.error();
    const int proxyPort = type == 5   ? proxy.port(ProFtpdForwardProxy::UserAtHost)
                          : type == 2 ? proxy.port(ProFtpdForwardProxy::ProxyUserThenUserAtHost)
                                      : proxy.port(ProFtpdForwardProxy::ProxyUserAtHostThenUser);
    TempDir local;
    TempDir tmp;
    TmpdirOverride tmpdir(tmp.path());
    const std::string picture = patternBytes(100000, static_cast<unsigned>(type));
    writeFile(local.file("picture.jpg"), picture);

    CFtpSession s;
    s.SetTimeout(kTimeout);
    ASSERT_TRUE(s.OpenLog(local.file("ftp.log")));
    ASSERT_TRUE(s.LogOn("127.0.0.1", server.port(), "cam", "secret", "", "127.0.0.1", "pu",
                        "proxysecret", proxyPort, type))
        << s.Message();
    const std::string server_ = "127.0.0.1:" + std::to_string(server.port());
    const std::string log = readFile(local.file("ftp.log"));
    const std::string expected = type == 5   ? "USER cam@" + server_ + "\r\r\n"
                                 : type == 2 ? "USER pu\r\r\n"
                                             : "USER pu@" + server_ + "\r\r\n";
    EXPECT_NE(log.find(expected), std::string::npos) << log;

    for (bool passive : {true, false}) {
        s.SetPassive(passive);
        ASSERT_TRUE(s.UploadFile(local.file("picture.jpg"), "proxied.tmp")) << s.Message();
        ASSERT_TRUE(s.Rename("proxied.tmp", "proxied.jpg")) << s.Message();
        EXPECT_EQ(readFile(server.root() + "/proxied.jpg"), picture);
    }
    std::string listing;
    EXPECT_GT(s.List(listing), 0) << s.Message();
    EXPECT_NE(listing.find("proxied.jpg"), std::string::npos);
    EXPECT_TRUE(s.DeleteFile("proxied.jpg")) << s.Message();
    s.Quit();
}

INSTANTIATE_TEST_SUITE_P(LogOnTypes, ForwardProxy, ::testing::Values(2, 5, 6),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return "Type" + std::to_string(p.param);
                         });
