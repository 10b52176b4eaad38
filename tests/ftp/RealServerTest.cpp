// The FTP session against real servers on loopback: pyftpdlib, proftpd, vsftpd, and proftpd's
// forward proxy for the proxy log-on types it implements; plain FTP, TLS (explicit and implicit,
// with the certificate checks) and IPv6.
#include "ftp/FtpSession.h"

#include "FtpTestSupport.h"
#include "RealFtpServers.h"
#include "TestCertificates.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

constexpr int kTimeout = 5;

struct Login {
    std::string user = "cam";
    std::string password = "secret";
    std::string folder; // where the test may write ("" = the FTP root)
    std::string host = "127.0.0.1";
    FtpSecuritySettings security;
};

int countOf(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Log on, make a folder, upload through a temporary name and rename it into place, tolerate a
// missing file, list, delete: what an upload cycle and the directory browser do. A store the
// server refuses ends at once with its reply, also when the refusal comes instead of a data
// connection or its TLS handshake.
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
        s.SetSecurity(login.security);
        ASSERT_TRUE(s.OpenLog(local.file("ftp.log")));
        ASSERT_TRUE(s.LogOn(login.host, port, login.user, login.password, "", "", "", "", 0, 0))
            << s.Message() << readFile(local.file("ftp.log"));
        const std::string cams = passive ? "cams-passive" : "cams-active";
        const std::string dir = login.folder.empty() ? cams : login.folder + "/" + cams;
        ASSERT_TRUE(s.MakeDir(dir)) << s.Message();
        ASSERT_TRUE(s.ChangeDir(dir)) << s.Message();
        ASSERT_TRUE(s.UploadFile(local.file("picture.jpg"), "upload.tmp")) << s.Message();
        ASSERT_TRUE(s.Rename("upload.tmp", "pic.jpg")) << s.Message();
        const std::string stored = readFile(rootOnDisk + "/" + dir + "/pic.jpg");
        EXPECT_TRUE(stored == picture)
            << "stored " << stored.size() << " of " << picture.size() << " bytes, or other bytes";
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
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(s.UploadFile(local.file("picture.jpg"), "no-such-folder/x.jpg"));
        EXPECT_EQ(s.Message().substr(0, 1), "5") << s.Message();
        EXPECT_LT(secondsSince(start), kTimeout - 1);
        EXPECT_TRUE(s.ChangeDir("..")) << s.Message(); // the session goes on
        s.Quit();
    }
    EXPECT_EQ(openFdCount(), fds);
    EXPECT_EQ(countEntries(tmp.path() + "/vistrel-" + std::to_string(::getuid())), 0);
    const std::string log = readFile(local.file("ftp.log"));
    const bool tls = login.security.security != 0;
    if (!login.password.empty()) {
        if (tls) {
            EXPECT_EQ(log.find("PASS " + login.password), std::string::npos) << log;
        }
        EXPECT_NE(
            log.find((tls ? std::string("PASS ********") : "PASS " + login.password) + "\r\r\n"),
            std::string::npos)
            << log;
    }
    EXPECT_NE(log.find("STOR upload.tmp\r\r\n"), std::string::npos) << log;
    if (tls) {
        EXPECT_EQ(countOf(log, "AUTH TLS\r\r\n"), login.security.security == 1 ? 1 : 0) << log;
        EXPECT_EQ(countOf(log, "\r\r\nTLS: TLSv1."), 1) << log;
        EXPECT_NE(log.find("PBSZ 0\r\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("PROT P\r\r\n"), std::string::npos) << log;
    }
    if (login.host.find(':') != std::string::npos) {
        EXPECT_NE(log.find(passive ? "EPSV\r\r\n" : "EPRT |2|::1|"), std::string::npos) << log;
        EXPECT_EQ(log.find(passive ? "PASV" : "PORT "), std::string::npos) << log;
    }
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

// ---- TLS --------------------------------------------------------------------------------------

namespace {

const TestCertificates& certificates()
{
    const TestCertificates& c = SharedTestCertificates();
    EXPECT_TRUE(c.ok) << "OpenSSL could not make the test certificates";
    return c;
}

struct TlsServerCase {
    const char* name;
    enum Server { Pyftpdlib, Vsftpd, Proftpd } server;
    bool implicit;
};

} // namespace

// Every server with TLS, explicit and implicit, passive and active, pinned to its self-signed
// certificate: the whole cycle with the control and data connections encrypted. vsftpd refuses
// data connections that do not resume the control connection's TLS session (require_ssl_reuse),
// and all three refuse USER and PASS without TLS.
class TlsServers : public ::testing::TestWithParam<TlsServerCase> {};

TEST_P(TlsServers, TheWholeCycleEncrypted)
{
    const TlsServerCase& c = GetParam();
    const TestCertificate& cert = certificates().selfSigned;
    const RealFtpServer::TlsSetup tls{cert.certFile, cert.keyFile, c.implicit, true};
    Login login;
    login.security = {c.implicit ? 2 : 1, true, cert.fingerprint};
    std::unique_ptr<RealFtpServer> server;
    bool started = false;
    if (c.server == TlsServerCase::Pyftpdlib) {
        auto* py = new PyFtpdServer;
        server.reset(py);
        py->useTls(tls);
        started = py->start("cam", "secret");
    } else if (c.server == TlsServerCase::Proftpd) {
        auto* pro = new ProFtpdServer;
        server.reset(pro);
        pro->useTls(tls);
        started = pro->start("cam", "secret");
    } else {
        auto* vs = new VsFtpdServer;
        server.reset(vs);
        vs->useTls(tls);
        started = vs->start();
        login.user = "anonymous";
        login.password = "";
        login.folder = "pub";
    }
    ASSERT_TRUE(started) << server->error();
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        exercise(server->port(), server->root(), login, passive);
    }
    if (HasFailure())
        ADD_FAILURE() << "The server's logs:\n" << server->logs();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, TlsServers,
    ::testing::Values(TlsServerCase{"PyftpdlibExplicit", TlsServerCase::Pyftpdlib, false},
                      TlsServerCase{"PyftpdlibImplicit", TlsServerCase::Pyftpdlib, true},
                      TlsServerCase{"VsftpdExplicit", TlsServerCase::Vsftpd, false},
                      TlsServerCase{"VsftpdImplicit", TlsServerCase::Vsftpd, true},
                      TlsServerCase{"ProftpdExplicit", TlsServerCase::Proftpd, false},
                      TlsServerCase{"ProftpdImplicit", TlsServerCase::Proftpd, true}),
    [](const ::testing::TestParamInfo<TlsServerCase>& p) { return p.param.name; });

// The certificate rules against pyftpdlib with three certificates: self-signed, signed by a test
// CA that the system store is made to hold (SSL_CERT_FILE), and signed by it for another name.
// A refused certificate ends the log-on before USER, so the password never leaves.
TEST(TlsCertificates, VerificationPinningAndTheirMessages)
{
    const TestCertificates& certs = certificates();
    ScopedEnv trustTestCa("SSL_CERT_FILE", certs.ca.certFile);
    enum Which { SelfSigned, Trusted, OtherName };
    const TestCertificate* byWhich[] = {&certs.selfSigned, &certs.trusted, &certs.otherName};
    PyFtpdServer servers[3];
    for (int i = 0; i < 3; ++i) {
        servers[i].useTls({byWhich[i]->certFile, byWhich[i]->keyFile, false, true});
        ASSERT_TRUE(servers[i].start("cam", "secret")) << servers[i].error();
    }
    struct Case {
        const char* name;
        Which server;
        const char* host;
        bool verify;
        std::string fingerprint;
        std::string error; // empty: logs on
    };
    const std::string mismatch =
        "Certificate error: the fingerprint does not match (the server's certificate has ";
    const Case cases[] = {
        {"self-signed, verified", SelfSigned, "127.0.0.1", true, "",
         "Certificate error: self-signed certificate"},
        {"self-signed, not verified", SelfSigned, "127.0.0.1", false, "", ""},
        {"self-signed, pinned", SelfSigned, "127.0.0.1", true, certs.selfSigned.fingerprint, ""},
        {"wrong pin", SelfSigned, "127.0.0.1", true, certs.trusted.fingerprint,
         mismatch + certs.selfSigned.fingerprint + ")"},
        {"wrong pin on a trusted certificate", Trusted, "127.0.0.1", true,
         certs.selfSigned.fingerprint, mismatch + certs.trusted.fingerprint + ")"},
        {"trusted CA, by address", Trusted, "127.0.0.1", true, "", ""},
        {"trusted CA, by name", Trusted, "localhost", true, "", ""},
        {"trusted CA, another name", OtherName, "localhost", true, "",
         "Certificate error: hostname mismatch"},
        {"trusted CA, another address", OtherName, "127.0.0.1", true, "",
         "Certificate error: IP address mismatch"},
    };
    TempDir local;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFtpSession s;
        s.SetTimeout(kTimeout);
        s.SetSecurity({1, c.verify, c.fingerprint});
        ASSERT_TRUE(s.OpenLog(local.file("ftp.log")));
        const bool ok =
            s.LogOn(c.host, servers[c.server].port(), "cam", "secret", "", "", "", "", 0, 0);
        const std::string message = s.Message();
        s.Quit(); // through TLS or not at all
        s.CloseLog();
        const std::string log = readFile(local.file("ftp.log"));
        EXPECT_NE(log.find("Certificate: CN=" +
                           std::string(c.server == OtherName ? "other.invalid" : "localhost") +
                           ", SHA-256 " + byWhich[c.server]->fingerprint + "\r\r\n"),
                  std::string::npos)
            << log;
        if (c.error.empty()) {
            EXPECT_TRUE(ok) << message << log;
            EXPECT_EQ(countOf(log, ftptext::kNotVerified),
                      !c.verify && c.fingerprint.empty() ? 1 : 0)
                << log;
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(message, c.error);
            EXPECT_TRUE(log.ends_with("\r\r\n" + c.error + "\r\r\n")) << log;
            EXPECT_EQ(log.find("USER"), std::string::npos) << log;
        }
    }
}

// A server that requires TLS, reached with security off: the log-on fails with its own reply.
TEST(TlsRequired, WithSecurityOffTheServersReplyIsTheMessage)
{
    const TestCertificate& cert = certificates().selfSigned;
    const RealFtpServer::TlsSetup tls{cert.certFile, cert.keyFile, false, true};
    VsFtpdServer vs;
    vs.useTls(tls);
    ASSERT_TRUE(vs.start()) << vs.error();
    PyFtpdServer py;
    py.useTls(tls);
    ASSERT_TRUE(py.start("cam", "secret")) << py.error();
    ProFtpdServer pro;
    pro.useTls(tls);
    ASSERT_TRUE(pro.start("cam", "secret")) << pro.error();
    struct Case {
        int port;
        const char* user;
        const char* reply;
    } cases[] = {
        {vs.port(), "anonymous", "530 Anonymous sessions must use encryption.\n"},
        {py.port(), "cam", "550 SSL/TLS required on the control channel.\n"},
        {pro.port(), "cam", "550 SSL/TLS required on the control channel\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        CFtpSession s;
        s.SetTimeout(kTimeout);
        EXPECT_FALSE(s.LogOn("127.0.0.1", c.port, c.user, "secret", "", "", "", "", 0, 0));
        EXPECT_EQ(s.Message(), c.reply);
    }
}

// ---- IPv6 -------------------------------------------------------------------------------------

namespace {

bool haveIpv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

} // namespace

// pyftpdlib on ::1, the address written with and without brackets: the data connections go by
// EPSV and EPRT; also through TLS.
TEST(Ipv6, PyftpdlibOnLoopbackWithEpsvAndEprt)
{
    if (!haveIpv6Loopback())
        GTEST_SKIP() << "This machine has no IPv6 loopback address (::1); IPv6 is not tested";
    PyFtpdServer plain;
    plain.listenOnIpv6();
    ASSERT_TRUE(plain.start("cam", "secret")) << plain.error();
    for (const std::string host : {"::1", "[::1]"}) {
        SCOPED_TRACE(host);
        Login login;
        login.host = host;
        login.folder = host[0] == '[' ? "brackets" : "plain";
        ASSERT_EQ(::mkdir((plain.root() + "/" + login.folder).c_str(), 0755), 0);
        for (bool passive : {true, false}) {
            SCOPED_TRACE(passive ? "passive" : "active");
            exercise(plain.port(), plain.root(), login, passive);
        }
    }
    const TestCertificate& cert = certificates().trusted;
    ScopedEnv trustTestCa("SSL_CERT_FILE", certificates().ca.certFile);
    PyFtpdServer tls;
    tls.listenOnIpv6();
    tls.useTls({cert.certFile, cert.keyFile, false, true});
    ASSERT_TRUE(tls.start("cam", "secret")) << tls.error();
    Login login;
    login.host = "[::1]";
    login.security = {1, true, ""}; // the certificate names ::1
    exercise(tls.port(), tls.root(), login, false);
}
