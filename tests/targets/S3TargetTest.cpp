// S3 sessions from the upload-target module against a scripted endpoint that checks every
// signature with python3-botocore's signer.
#include "TargetServers.h"
#include "upload/TargetLoader.h"

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

TargetSettings S3(const test::S3Server& server, const std::string& endpoint)
{
    TargetSettings t;
    t.kind = TargetKind::S3;
    t.endpoint = endpoint;
    t.region = test::S3Server::kRegion;
    t.bucket = test::S3Server::kBucket;
    t.accessKey = test::S3Server::kAccessKey;
    t.secret = test::S3Server::kSecret;
    t.directory = "/site/cam/";
    t.timeoutSeconds = 10;
    (void)server;
    return t;
}

} // namespace

// Path-style and virtual-host-style addresses sign and send the same requests: the picture with
// its headers, the archive's server-side copies (a missing slot is no failure), deletes.
TEST(S3Target, RequestsAreSignedInBothAddressStyles)
{
    test::S3Server server;
    ASSERT_TRUE(server.ok()) << server.why();
    test::TempDir local;
    const std::string picture = local.file("pic.jpg");
    test::writeFile(picture, std::string(100000, 's'));
    const std::string port = std::to_string(server.port());
    for (const std::string& endpoint : {server.endpoint(), "http://cams.localhost:" + port + "/"}) {
        SCOPED_TRACE(endpoint);
        server.clearRequests();
        TargetSettings t = S3(server, endpoint);
        t.cacheControl = "no-cache";
        t.storageClass = "REDUCED_REDUNDANCY";
        std::string why;
        auto s = MakeTargetSession(t, &why);
        ASSERT_TRUE(s) << why;
        ASSERT_TRUE(s->Open()) << s->Message();
        ASSERT_TRUE(s->Store(picture, "live cam.jpg")) << s->Message();
        ASSERT_TRUE(s->RenameTolerant("live cam.jpg", "live cam01.jpg")) << s->Message();
        ASSERT_TRUE(s->RenameTolerant("live cam02.jpg", "live cam03.jpg")) << s->Message();
        ASSERT_TRUE(s->Rename("live cam01.jpg", "moved.jpg")) << s->Message();
        ASSERT_TRUE(s->DeleteFile("never there.jpg")) << s->Message();
        EXPECT_EQ(test::readFile(server.object("site/cam/live cam.jpg")), test::readFile(picture));
        EXPECT_EQ(test::readFile(server.object("site/cam/moved.jpg")), test::readFile(picture));
        EXPECT_FALSE(test::fileExists(server.object("site/cam/live cam01.jpg")));
        const std::string headers =
            " cache-control=no-cache storage-class=REDUCED_REDUNDANCY type=image/jpeg\n";
        EXPECT_EQ(
            server.requests(),
            "PUT /cams/site/cam/live cam.jpg" + headers +
                "PUT /cams/site/cam/live cam01.jpg copy=/cams/site/cam/live cam.jpg" + headers +
                "PUT /cams/site/cam/live cam03.jpg copy=/cams/site/cam/live cam02.jpg" + headers +
                "PUT /cams/site/cam/moved.jpg copy=/cams/site/cam/live cam01.jpg" + headers +
                "DELETE /cams/site/cam/live cam01.jpg\n"
                "DELETE /cams/site/cam/never there.jpg\n");
    }
}

// A wrong secret or region is refused by the service with its own reason; the secret is never
// in the message.
TEST(S3Target, RefusalsCarryTheServiceReasonAndNeverTheSecret)
{
    test::S3Server server;
    ASSERT_TRUE(server.ok()) << server.why();
    test::TempDir local;
    test::writeFile(local.file("p.jpg"), "picture");
    struct Case {
        const char* name;
        std::function<void(TargetSettings&)> change;
        const char* says;
    } cases[] = {
        {"secret", [](TargetSettings& t) { t.secret = "not the secret"; },
         "403 Forbidden (SignatureDoesNotMatch: the signature does not match)"},
        {"region", [](TargetSettings& t) { t.region = "us-east-1"; },
         "AuthorizationHeaderMalformed"},
        {"bucket", [](TargetSettings& t) { t.bucket = "other"; }, "NoSuchBucket"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TargetSettings t = S3(server, server.endpoint());
        c.change(t);
        std::string why;
        auto s = MakeTargetSession(t, &why);
        ASSERT_TRUE(s && s->Open()) << why;
        EXPECT_FALSE(s->Store(local.file("p.jpg"), "p.jpg"));
        EXPECT_NE(s->Message().find(c.says), std::string::npos) << s->Message();
        EXPECT_EQ(s->Message().find(t.secret), std::string::npos);
    }
    TargetSettings t = S3(server, "s3.example.net");
    auto s = MakeTargetSession(t, nullptr);
    EXPECT_FALSE(s->Open());
    EXPECT_NE(s->Message().find("must start with http:// or https://"), std::string::npos);
}
