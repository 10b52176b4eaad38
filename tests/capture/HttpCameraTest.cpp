// HTTP cameras against the test camera server on 127.0.0.1: snapshots and MJPEG streams,
// authentication, cameras that misbehave, the preview's requests.
#include "capture/CaptureDevice.h"
#include "capture/NetworkCamera.h"

#include "CameraServers.h"
#include "TestCertificates.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace vistrel;
using namespace vistrel::test;
using Clock = std::chrono::steady_clock;

namespace {

class HttpCamera : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        s_server = new HttpCameraServer;
        std::string log;
        ASSERT_TRUE(s_server->start(0, &log)) << log;
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    static std::unique_ptr<CaptureDevice> device(const std::string& path,
                                                 const std::string& user = {},
                                                 const std::string& password = {},
                                                 NetworkCameraLimits limits = {})
    {
        return std::make_unique<CaptureDevice>(
            MakeNetworkCameraBackend({"Test camera", s_server->url(path), user, password}, limits));
    }

    static std::string pixels(const RgbFrame& f) { return std::string(f.rgb.begin(), f.rgb.end()); }

    static HttpCameraServer* s_server;
};

HttpCameraServer* HttpCamera::s_server = nullptr;

} // namespace

TEST_F(HttpCamera, AGrabReturnsTheServedPicturePixelForPixel)
{
    const std::string urlCredentials = std::string(HttpCameraServer::kUser) + ":s3cret%3A%40pw@";
    struct Case {
        const char* name;
        std::string path;
        std::string user;
        std::string password;
        const char* picture;
        const char* format;
        std::string url; // instead of the path's, when set
    };
    const Case cases[] = {
        {"JPEG snapshot", "/snap.jpg", "", "", "picture.jpg", "JPEG", ""},
        {"PNG snapshot", "/snap.png", "", "", "picture.png", "PNG", ""},
        {"ended by closing", "/nolength.jpg", "", "", "picture.jpg", "JPEG", ""},
        {"after a redirect", "/redirect", "", "", "picture.jpg", "JPEG", ""},
        {"basic", "/basic.jpg", HttpCameraServer::kUser, HttpCameraServer::kPassword, "picture.jpg",
         "JPEG", ""},
        {"digest", "/digest.jpg", HttpCameraServer::kUser, HttpCameraServer::kPassword,
         "picture.jpg", "JPEG", ""},
        {"digest, credentials in the URL", "", "", "", "picture.jpg", "JPEG",
         "http://" + urlCredentials + "127.0.0.1:" + std::to_string(s_server->port()) +
             "/digest.jpg"},
        {"MJPEG", "/mjpeg", "", "", "picture.jpg", "Motion-JPEG", ""},
        {"MJPEG without part lengths", "/mjpeg?nolength=1", "", "", "picture.jpg", "Motion-JPEG",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureDevice dev(MakeNetworkCameraBackend(
            {"Test camera", c.url.empty() ? s_server->url(c.path) : c.url, c.user, c.password}));
        ASSERT_TRUE(dev.connect());
        FrameSize size;
        ASSERT_TRUE(dev.status(size));
        EXPECT_EQ(size, (FrameSize{HttpCameraServer::kWidth, HttpCameraServer::kHeight}));
        EXPECT_EQ(dev.pixelFormats(), std::vector<std::string>{c.format});
        ASSERT_TRUE(dev.grabFrame()) << dev.lastError();
        const RgbFrame f = dev.frame();
        ASSERT_EQ(f.width, HttpCameraServer::kWidth);
        ASSERT_EQ(f.height, HttpCameraServer::kHeight);
        EXPECT_TRUE(pixels(f) == s_server->expectedRgb(c.picture));
    }
}

TEST_F(HttpCamera, ACameraThatFailsNamesItsHostAndTheCauseWithinTheTimeLimit)
{
    NetworkCameraLimits limits;
    limits.timeoutMs = 1000;
    NetworkCameraLimits smallPictures = limits;
    smallPictures.maxPictureBytes = 1 << 20;
    struct Case {
        const char* name;
        std::string path;
        std::string user;
        std::string password;
        NetworkCameraLimits limits;
        const char* cause;
    };
    const Case cases[] = {
        {"stalls", "/stall", "", "", limits,
         "the camera accepted the connection but did not answer within 1 second"},
        {"stalls in the picture", "/stall-body", "", "", limits,
         "the picture was not complete within 1 second"},
        {"closes early", "/close-early", "", "", limits,
         "the connection closed before the picture was complete"},
        {"truncated JPEG", "/truncated.jpg", "", "", limits, "the JPEG picture is cut short"},
        {"500", "/error", "", "", limits, "the camera answered HTTP 500 Internal Server Error"},
        {"401 without credentials", "/basic.jpg", "", "", limits,
         "the camera asks for a user name and password (HTTP 401 Unauthorized)"},
        {"401 basic, wrong password", "/basic.jpg", HttpCameraServer::kUser, "wrong", limits,
         "the camera refused the user name and password (HTTP 401 Unauthorized)"},
        {"401 digest, wrong password", "/digest.jpg", HttpCameraServer::kUser, "wrong", limits,
         "the camera refused the user name and password (HTTP 401 Unauthorized)"},
        {"a web page", "/html", "", "", limits,
         "the camera sent no JPEG or PNG picture (it sent text/html)"},
        {"an endless picture", "/endless.jpg", "", "", smallPictures,
         "the picture is larger than 1048576 bytes"},
        {"an endless MJPEG part", "/mjpeg-endless", "", "", smallPictures,
         "a part of the stream is larger than 1048576 bytes"},
        {"30000 x 30000 pixels", "/huge.jpg", "", "", limits,
         "the picture is 30000 x 30000, larger than the 8192 pixels a side and 36 megapixels a "
         "camera may send"},
    };
    const std::string host = "127.0.0.1:" + std::to_string(s_server->port());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto dev = device(c.path, c.user, c.password, c.limits);
        ASSERT_TRUE(dev->connect()); // a camera that fails still connects
        const auto start = Clock::now();
        EXPECT_FALSE(dev->grabFrame());
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(c.limits.timeoutMs + 500));
        EXPECT_EQ(dev->lastError(), "No picture from " + host + ": " + c.cause);
        EXPECT_EQ(dev->lastError().find(c.password.empty() ? "s3cret" : c.password),
                  std::string::npos);
    }
}

TEST_F(HttpCamera, TheThreeSecondLimitHoldsAndTheNextGrabTriesAgain)
{
    // A camera that stalls costs a grab three seconds, not more.
    auto stalled = device("/stall");
    const auto start = Clock::now();
    ASSERT_TRUE(stalled->connect());
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(2900));
    EXPECT_LT(took, std::chrono::milliseconds(3500));

    // The first answer fails, the next grab asks again and gets the picture.
    auto flaky = device("/flaky.jpg?fail=2");
    ASSERT_TRUE(flaky->connect()); // the first request
    EXPECT_FALSE(flaky->grabFrame());
    EXPECT_NE(flaky->lastError().find("HTTP 500"), std::string::npos);
    EXPECT_TRUE(flaky->grabFrame()) << flaky->lastError();
}

TEST_F(HttpCamera, ThePreviewAsksOncePerPeriodAndNeverTwiceAtATime)
{
    struct Case {
        const char* path;
        int periodMs;
        int minRequests;
        int maxRequests;
    };
    // 100 ms for a quick camera: about ten requests a second. A camera slower than the period
    // (250 ms) gets its next request only once it has answered.
    const Case cases[] = {{"/snap.jpg?delay=20&test=fast", 100, 7, 11},
                          {"/snap.jpg?delay=250&test=slow", 100, 3, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto dev = device(c.path);
        ASSERT_TRUE(dev->connect());
        std::atomic<int> frames{0};
        dev->setPreviewListener([&frames](const RgbFrame&) { ++frames; });
        ASSERT_TRUE(dev->setPreviewRate(c.periodMs));
        const std::size_t before = s_server->requests(c.path).size();
        ASSERT_TRUE(dev->setPreview(true));
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        ASSERT_TRUE(dev->setPreview(false));
        const auto requests = s_server->requests(c.path);
        const int made = static_cast<int>(requests.size() - before);
        EXPECT_GE(made, c.minRequests);
        EXPECT_LE(made, c.maxRequests);
        EXPECT_GE(frames.load(), made - 1);
        for (const auto& r : requests)
            EXPECT_EQ(r.inFlight, 1);
    }
}

TEST_F(HttpCamera, AnMjpegStreamKeepsOneConnectionAndComesBackAfterItEnds)
{
    const auto previewUntil = [](CaptureDevice& dev, int wanted) {
        std::atomic<int> frames{0};
        dev.setPreviewListener([&frames](const RgbFrame&) { ++frames; });
        EXPECT_TRUE(dev.setPreviewRate(0));
        EXPECT_TRUE(dev.setPreview(true));
        const auto end = Clock::now() + std::chrono::seconds(5);
        while (frames < wanted && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(dev.setPreview(false));
        dev.setPreviewListener({});
        return frames.load();
    };
    const auto loggedSoon = [](const std::string& path, std::size_t n) {
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (s_server->requests(path).size() < n && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return s_server->requests(path).size();
    };

    // A long stream: the preview reads it on one connection (the other one learnt the size).
    const std::string longStream = "/mjpeg?count=100&fps=20&test=one-connection";
    auto dev = device(longStream);
    ASSERT_TRUE(dev->connect());
    EXPECT_GE(previewUntil(*dev, 5), 5);
    EXPECT_EQ(loggedSoon(longStream, 2), 2u);

    // A stream of two parts that ends: the preview connects again and goes on.
    const std::string shortStream = "/mjpeg?count=2&fps=20&test=ends";
    auto ending = device(shortStream);
    ASSERT_TRUE(ending->connect());
    EXPECT_GE(previewUntil(*ending, 6), 6);
    EXPECT_GE(loggedSoon(shortStream, 4), 4u);
    EXPECT_TRUE(ending->grabFrame()) << ending->lastError();
    EXPECT_EQ(ending->frame().width, HttpCameraServer::kWidth);
}

// Connecting fetches one picture; the grab that follows at once takes it rather than fetching and
// decoding another. A camera's own time limit bounds its grabs.
TEST_F(HttpCamera, TheConnectPictureServesTheFirstGrabAndEachCameraHasItsTimeLimit)
{
    const std::string once = "/snap.jpg?test=decoded-once";
    // The server logs a request once it has answered it: a moment after the client has it.
    const auto logged = [&once](std::size_t n) {
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (s_server->requests(once).size() < n && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return s_server->requests(once).size();
    };
    auto dev = device(once);
    ASSERT_TRUE(dev->connect()) << dev->lastError();
    EXPECT_TRUE(dev->grabFrame()) << dev->lastError();
    EXPECT_EQ(pixels(dev->frame()), s_server->expectedRgb("picture.jpg"));
    EXPECT_EQ(logged(1), 1u);
    EXPECT_TRUE(dev->grabFrame()) << dev->lastError();
    EXPECT_EQ(logged(2), 2u);

    NetworkCameraSettings camera{"Test camera", s_server->url("/stall?test=own-limit")};
    camera.timeoutMs = 1000;
    CaptureDevice stalled(MakeNetworkCameraBackend(camera));
    ASSERT_TRUE(stalled.connect());
    const auto t0 = Clock::now();
    EXPECT_FALSE(stalled.grabFrame());
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 2.0);
    EXPECT_NE(stalled.lastError().find("within 1 second"), std::string::npos)
        << stalled.lastError();
}

// An HTTPS camera with a certificate of its own: refused while certificates are checked, taken
// when its fingerprint is pinned (and only then), or when checking is off.
TEST(HttpsCamera, ASelfSignedCameraNeedsItsFingerprintOrCheckingOff)
{
    const TestCertificates& certs = SharedTestCertificates();
    ASSERT_TRUE(certs.ok);
    HttpCameraServer server;
    std::string log;
    ASSERT_TRUE(server.start(0, &log, certs.selfSigned.certFile, certs.selfSigned.keyFile)) << log;
    struct Case {
        const char* what;
        bool verify;
        std::string fingerprint;
        const char* error; // a part of it; empty: a picture
    };
    const Case cases[] = {
        {"checked", true, "", "a certificate of its own needs its fingerprint pinned"},
        {"pinned", true, certs.selfSigned.fingerprint, ""},
        {"pinned, checking off", false, certs.selfSigned.fingerprint, ""},
        {"another pinned", true, certs.trusted.fingerprint,
         "not the pinned one (its SHA-256 fingerprint is "},
        {"not a fingerprint", true, "12:34", "no SHA-256 fingerprint"},
        {"unchecked", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NetworkCameraSettings camera{"Test camera", server.url("/basic.jpg"),
                                     HttpCameraServer::kUser, HttpCameraServer::kPassword};
        camera.verifyCertificate = c.verify;
        camera.certificateFingerprint = c.fingerprint;
        EXPECT_EQ(CertificateUnchecked(camera), !c.verify && c.fingerprint.empty());
        const std::size_t before = server.requests("/basic.jpg").size();
        CaptureDevice dev(MakeNetworkCameraBackend(camera));
        ASSERT_TRUE(dev.connect());
        const bool grabbed = dev.grabFrame();
        if (*c.error == '\0') {
            EXPECT_TRUE(grabbed) << dev.lastError();
            EXPECT_EQ(dev.frame().width, HttpCameraServer::kWidth);
        } else {
            EXPECT_FALSE(grabbed);
            EXPECT_NE(dev.lastError().find(c.error), std::string::npos) << dev.lastError();
            // Refused in the handshake, before the request: no credentials went out.
            EXPECT_EQ(server.requests("/basic.jpg").size(), before);
        }
    }
}
