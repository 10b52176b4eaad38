// TLS and IPv6 in the FTP session where no TLS server is needed: what happens before or instead
// of a handshake (the scripted server speaks no TLS), and the small readers behind it.
#include "ftp/FtpSession.h"
#include "ftp/TlsConnection.h"

#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace vistrel;
using namespace vistrel::test;
using Lines = std::vector<std::string>;

namespace {

struct Refusal {
    const char* name;
    FtpSecuritySettings security;
    int logonType;
    std::function<void(ScriptedFtpServer&)> script;
    std::string message;   // exact, or the beginning when it ends with "…"
    bool connects;         // whether the server saw a connection at all
    bool waitsTheTimeOut;  // ends at the session's time-out (1 s)
    Lines transcript = {}; // checked when connects and not empty
};

// With TLS on, nothing of the log-on leaves in clear: a server that refuses AUTH TLS, stalls in
// the handshake or does not speak TLS ends the log-on before USER, with a message that says which;
// settings that cannot work are refused before connecting.
class TlsRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(TlsRefusals, EndTheLogOnBeforeTheUserName)
{
    const Refusal& r = GetParam();
    ScriptedFtpServer srv;
    if (r.script)
        r.script(srv);
    ASSERT_TRUE(srv.start());
    TempDir dir;
    CFtpSession s;
    s.SetTimeout(1);
    s.SetSecurity(r.security);
    ASSERT_TRUE(s.OpenLog(dir.file("ftp.log")));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.LogOn("127.0.0.1", r.logonType == 0 ? srv.port() : 2121, "cam", "secret", "",
                         "127.0.0.1", "pu", "proxysecret", srv.port(), r.logonType));
    const std::string message = s.Message();
    s.Quit(); // nothing to wait for: it must not add a time-out of its own
    const double seconds = secondsSince(start);
    if (r.message.ends_with("…")) {
        EXPECT_TRUE(message.starts_with(r.message.substr(0, r.message.size() - 3))) << message;
    } else {
        EXPECT_EQ(message, r.message);
    }
    if (r.waitsTheTimeOut) {
        EXPECT_GE(seconds, 0.9);
        EXPECT_LT(seconds, 1.8);
    } else {
        EXPECT_LT(seconds, 0.9);
    }
    s.CloseLog();
    const std::string raw = srv.rawInput();
    EXPECT_EQ(raw.find("USER"), std::string::npos);
    EXPECT_EQ(raw.find("secret"), std::string::npos);
    EXPECT_EQ(readFile(dir.file("ftp.log")).find("USER"), std::string::npos);
    if (!r.connects) {
        EXPECT_EQ(raw, "");
    } else if (!r.transcript.empty()) {
        EXPECT_EQ(srv.transcript(), r.transcript);
    }
}

const FtpSecuritySettings kExplicit{1, true, ""};
const FtpSecuritySettings kImplicit{2, true, ""};

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsRefusals,
    ::testing::Values(
        // The scripted server answers every verb it does not know with 500; QUIT is not sent
        // through a connection whose TLS never started.
        Refusal{"AuthRefused", kExplicit, 0, nullptr, "500 Unknown command\n", true, false,
                Lines{"AUTH TLS"}},
        Refusal{"HandshakeStalls", kExplicit, 0,
                [](ScriptedFtpServer& srv) {
                    srv.reply("AUTH", "234 Go ahead");
                    srv.silentAfter("AUTH");
                },
                ftptext::kTlsTimedOut, true, true},
        Refusal{"ImplicitServerSilent", kImplicit, 0,
                [](ScriptedFtpServer& srv) { srv.silentAfter(""); }, ftptext::kTlsTimedOut, true,
                true},
        Refusal{"NotTlsAfterAuth", kExplicit, 0,
                [](ScriptedFtpServer& srv) {
                    srv.reply("AUTH",
                              ScriptedFtpServer::raw(
                                  {"234 Go ahead\r\n", "230 Logged in, no TLS here\r\n"}, 300));
                    srv.silentAfter("AUTH");
                },
                "TLS handshake failed: …", true, false},
        Refusal{"ImplicitGetsAPlainGreeting", kImplicit, 0, nullptr, "TLS handshake failed: …",
                true, false},
        Refusal{"ThroughAProxy", kExplicit, 5, nullptr, ftptext::kProxyTls, false, false},
        Refusal{
            "UnknownSecurity", {3, true, ""}, 0, nullptr, ftptext::kSecurityValue, false, false},
        Refusal{
            "NegativeSecurity", {-1, true, ""}, 0, nullptr, ftptext::kSecurityValue, false, false},
        Refusal{"ShortFingerprint",
                {1, true, "AB:CD"},
                0,
                nullptr,
                ftptext::kFingerprint,
                false,
                false}),
    [](const ::testing::TestParamInfo<Refusal>& p) { return p.param.name; });

} // namespace

TEST(TlsSettings, FingerprintsReadInTheFormsToolsPrint)
{
    Sha256Digest d{};
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<unsigned char>(i * 8 + 1);
    const std::string colons = FingerprintText(d);
    EXPECT_EQ(colons.substr(0, 12), "01:09:11:19:");
    EXPECT_EQ(colons.size(), 95u);
    std::string bare;
    for (char c : colons) {
        if (c != ':')
            bare += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    struct Case {
        std::string text;
        bool ok;
    } cases[] = {
        {colons, true},
        {bare, true},
        {"sha256 Fingerprint=" + colons, true}, // as openssl x509 -fingerprint prints it
        {"  " + colons + "\t", true},
        {colons.substr(0, 92), false},       // a byte short
        {colons + ":00", false},             // a byte long
        {colons.substr(0, 94) + "G", false}, // not hex
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Sha256Digest out{};
        EXPECT_EQ(ParseFingerprint(c.text, out), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, d);
        }
    }
}

TEST(Ipv6Replies, EpsvNamesOnlyThePort)
{
    struct Case {
        const char* reply;
        int port; // 0: refused
    } cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)\n", 6446},
        {"229 ok (!!!1!)\n", 1},
        {"229 ok (|||65535|)\n", 65535},
        {"229 ok (|||65536|)\n", 0},
        {"229 ok (|||0|)\n", 0},
        {"229 ok (|||123456|)\n", 0},
        {"229 ok (|||12|\n", 0},
        {"229 ok (||12|)\n", 0},
        {"229 ok (1112131)\n", 0}, // a digit cannot be the delimiter
        {"229 ok (|2|::1|6446|)\n", 0},
        {"229 no parenthesis\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        int port = 0;
        EXPECT_EQ(ParseEpsvReply(c.reply, port), c.port != 0);
        if (c.port != 0) {
            EXPECT_EQ(port, c.port);
        }
    }
    EXPECT_EQ(HostWithoutBrackets("[::1]"), "::1");
    EXPECT_EQ(HostWithoutBrackets("::1"), "::1");
    EXPECT_EQ(HostWithoutBrackets("[ftp.example.org"), "[ftp.example.org");
    EXPECT_TRUE(IsAddressLiteral("::1"));
    EXPECT_TRUE(IsAddressLiteral("127.0.0.1"));
    EXPECT_FALSE(IsAddressLiteral("localhost"));
}
