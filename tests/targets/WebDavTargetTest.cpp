// WebDAV sessions from the upload-target module against rclone's WebDAV server on loopback.
#include "TargetServers.h"
#include "TestCertificates.h"
#include "upload/TargetLoader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vistrel;

namespace {

std::unique_ptr<TargetSession> MakeSession(const TargetSettings& t)
{
    std::string why;
    auto s = MakeTargetSession(t, &why);
    EXPECT_TRUE(s) << why;
    return s;
}

TargetSettings Dav(const test::WebDavServer& server, const std::string& folder = "")
{
    TargetSettings t;
    t.kind = TargetKind::WebDav;
    t.url = server.url() + folder;
    t.username = "cam";
    t.password = test::WebDavServer::kPassword;
    t.timeoutSeconds = 10;
    return t;
}

} // namespace

// A cycle's steps: PUT under the temporary name, MOVE over the picture there, the archive's
// MOVEs (a missing slot is no failure), DELETE; names that need escaping; a wrong password
// fails with the server's answer.
TEST(WebDavTarget, EveryStepOfACycleAndAWrongPassword)
{
    test::WebDavServer server;
    ASSERT_TRUE(server.ok()) << server.why();
    test::TempDir local;
    const std::string picture = local.file("pic.jpg");
    test::writeFile(picture, std::string(200000, 'w'));
    test::writeFile(server.files() + "/live cam.jpg", "old picture");

    auto s = MakeSession(Dav(server));
    ASSERT_TRUE(s && s->Open()) << (s ? s->Message() : "");
    ASSERT_TRUE(s->RenameTolerant("live cam.jpg", "live cam01.jpg")) << s->Message();
    EXPECT_TRUE(s->RenameTolerant("live cam02.jpg", "live cam03.jpg")) << s->Message();
    ASSERT_TRUE(s->Store(picture, "live cam.tmp")) << s->Message();
    test::writeFile(server.files() + "/live cam.jpg", "in the way");
    ASSERT_TRUE(s->Rename("live cam.tmp", "live cam.jpg")) << s->Message() << server.log();
    EXPECT_EQ(test::readFile(server.files() + "/live cam.jpg"), test::readFile(picture));
    EXPECT_EQ(test::readFile(server.files() + "/live cam01.jpg"), "old picture");
    EXPECT_FALSE(test::fileExists(server.files() + "/live cam.tmp"));
    EXPECT_TRUE(s->DeleteFile("live cam01.jpg")) << s->Message();
    EXPECT_TRUE(s->DeleteFile("never there.jpg")) << s->Message();
    EXPECT_FALSE(test::fileExists(server.files() + "/live cam01.jpg"));

    TargetSettings wrong = Dav(server);
    wrong.password = "not it";
    auto refused = MakeSession(wrong);
    ASSERT_TRUE(refused && refused->Open());
    EXPECT_FALSE(refused->Store(picture, "x.jpg"));
    EXPECT_NE(refused->Message().find("401"), std::string::npos) << refused->Message();
    EXPECT_EQ(refused->Message().find("not it"), std::string::npos);

    TargetSettings bad = Dav(server);
    bad.url = "ftp://127.0.0.1/";
    auto badUrl = MakeSession(bad);
    EXPECT_FALSE(badUrl->Open());
    EXPECT_NE(badUrl->Message().find("must start with http:// or https://"), std::string::npos);
}

// Over TLS the certificate is checked as for FTPS: a self-signed one is refused unless it is
// pinned (then only that one passes, and another's message shows what the server offered) or
// checking is off.
TEST(WebDavTarget, CertificateCheckedPinnedOrNot)
{
    const test::TestCertificates& certs = test::SharedTestCertificates();
    ASSERT_TRUE(certs.ok);
    test::WebDavServer server(certs.selfSigned.certFile, certs.selfSigned.keyFile);
    ASSERT_TRUE(server.ok()) << server.why();
    test::TempDir local;
    test::writeFile(local.file("p.jpg"), "picture");
    struct Case {
        const char* name;
        bool verify;
        std::string pin;
        bool stored;
        std::string says;
    } cases[] = {
        {"checked", true, "", false, "certificate"},
        {"pinned", true, certs.selfSigned.fingerprint, true, ""},
        {"other pin", true, certs.trusted.fingerprint, false,
         certs.selfSigned.fingerprint + " is not the pinned one"},
        {"not checked", false, "", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TargetSettings t = Dav(server);
        t.verifyCertificate = c.verify;
        t.certificateFingerprint = c.pin;
        auto s = MakeSession(t);
        ASSERT_TRUE(s && s->Open()) << (s ? s->Message() : "");
        EXPECT_EQ(s->Store(local.file("p.jpg"), std::string(c.name) + ".jpg"), c.stored)
            << s->Message();
        EXPECT_EQ(test::fileExists(server.files() + "/" + c.name + ".jpg"), c.stored);
        EXPECT_NE(s->Message().find(c.says), std::string::npos) << s->Message();
    }
}

// Digest authentication, against a server that takes nothing else: the right password stores,
// a wrong one is refused with the server's 401.
TEST(WebDavTarget, DigestAuthentication)
{
    test::TempDir dir;
    ::mkdir(dir.file("files").c_str(), 0755);
    test::ChildProcess server;
    ASSERT_TRUE(server.start({"/usr/bin/python3",
                              test::sourceDir() + "/tests/targets/servers/digest_dav.py",
                              dir.file("port"), dir.file("files"), "cam", "digest pw"},
                             dir.file("server.log")));
    ASSERT_TRUE(test::waitUntil([&] { return test::fileExists(dir.file("port")); }, 10000));
    test::writeFile(dir.file("p.jpg"), std::string(50000, 'd'));
    for (const char* password : {"digest pw", "wrong"}) {
        SCOPED_TRACE(password);
        TargetSettings t;
        t.kind = TargetKind::WebDav;
        t.url = "http://127.0.0.1:" + test::readFile(dir.file("port")) + "/";
        t.username = "cam";
        t.password = password;
        auto s = MakeSession(t);
        ASSERT_TRUE(s && s->Open());
        const bool right = std::string(password) == "digest pw";
        const std::string name = right ? "right.jpg" : "wrong.jpg";
        EXPECT_EQ(s->Store(dir.file("p.jpg"), name), right) << s->Message();
        EXPECT_EQ(test::fileExists(dir.file("files/" + name)), right);
        if (!right) {
            EXPECT_NE(s->Message().find("401"), std::string::npos) << s->Message();
        }
    }
}
