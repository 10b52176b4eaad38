// RTSP cameras against GStreamer's RTSP server on 127.0.0.1, in Motion-JPEG and H.264.
#include "capture/CaptureDevice.h"
#include "capture/NetworkCamera.h"

#include "CameraServers.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

using namespace vistrel;
using namespace vistrel::test;
using Clock = std::chrono::steady_clock;

namespace {

class RtspCamera : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override
    {
        std::string missing;
        if (!RtspCameraServer::available(GetParam(), &missing))
            GTEST_SKIP() << "no RTSP test server: " << missing;
        std::string log;
        ASSERT_TRUE(m_server.start(GetParam(), 0, &log)) << log;
    }

    std::unique_ptr<CaptureDevice> device()
    {
        return std::make_unique<CaptureDevice>(
            MakeNetworkCameraBackend({"Street", m_server.url(), "", ""}));
    }

    RtspCameraServer m_server;
};

} // namespace

TEST_P(RtspCamera, AGrabReturnsAFrameOfTheStreamsSize)
{
    auto dev = device();
    ASSERT_TRUE(dev->connect());
    FrameSize size;
    ASSERT_TRUE(dev->status(size));
    EXPECT_EQ(size, (FrameSize{320, 240})) << dev->lastError();
    EXPECT_EQ(
        dev->pixelFormats(),
        std::vector<std::string>{std::string(GetParam()) == "h264" ? "H.264" : "Motion-JPEG"});

    // Preview off: each grab connects, takes the first frame and hangs up.
    ASSERT_TRUE(dev->grabFrame()) << dev->lastError();
    RgbFrame f = dev->frame();
    ASSERT_EQ(f.width, 320);
    ASSERT_EQ(f.height, 240);
    // The test source's colour bars: white at the left, blue-ish towards the right; no grey
    // frame from a decoder that had nothing to decode.
    const std::uint8_t* left = f.row(10) + 10 * 3;
    EXPECT_GT(left[0], 150);
    EXPECT_GT(left[1], 150);
    EXPECT_GT(left[2], 150);

    // Preview on: frames keep coming from the running stream.
    std::atomic<int> frames{0};
    dev->setPreviewListener([&frames](const RgbFrame& frame) {
        if (frame.width == 320)
            ++frames;
    });
    ASSERT_TRUE(dev->setPreviewRate(50));
    ASSERT_TRUE(dev->setPreview(true));
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (frames < 5 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(frames.load(), 5);
    EXPECT_TRUE(dev->grabFrame()) << dev->lastError();
    ASSERT_TRUE(dev->setPreview(false));
}

TEST_P(RtspCamera, AServerThatGoesAwayEndsTheGrabAndTheNextGrabReconnects)
{
    auto dev = device();
    ASSERT_TRUE(dev->connect());
    ASSERT_TRUE(dev->setPreviewRate(50));
    ASSERT_TRUE(dev->setPreview(true)); // the stream runs
    ASSERT_TRUE(dev->grabFrame()) << dev->lastError();

    const int port = m_server.port();
    m_server.stop();
    // Frames already on their way may still arrive; then the grab ends with the reason.
    const auto start = Clock::now();
    int late = 0;
    while (dev->grabFrame() && late < 10)
        ++late;
    EXPECT_LE(late, 3);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3500));
    const std::string error = dev->lastError();
    EXPECT_EQ(error.rfind("No picture from 127.0.0.1:" + std::to_string(port) + ": ", 0), 0u)
        << error;

    // The camera comes back on the same address: the next grab connects again.
    std::string log;
    ASSERT_TRUE(m_server.start(GetParam(), port, &log)) << log;
    EXPECT_TRUE(dev->grabFrame()) << dev->lastError();
    EXPECT_EQ(dev->frame().width, 320);
    ASSERT_TRUE(dev->setPreview(false));
}

TEST(RtspCameraAuthentication, TheSettingsCredentialsAreSentAndAWrongOneIsNamed)
{
    std::string missing;
    if (!RtspCameraServer::available("mjpeg", &missing))
        GTEST_SKIP() << "no RTSP test server: " << missing;
    RtspCameraServer server;
    std::string log;
    // Characters that must be encoded inside a URL, in both.
    ASSERT_TRUE(server.start("mjpeg", 0, &log, {"--user", "ad min", "--password", "p@ss:/w"}))
        << log;
    const auto grab = [&](const std::string& user, const std::string& password) {
        CaptureDevice device(MakeNetworkCameraBackend({"Street", server.url(), user, password}));
        EXPECT_TRUE(device.connect());
        const bool ok = device.grabFrame();
        return ok ? std::string() : device.lastError();
    };
    EXPECT_EQ(grab("ad min", "p@ss:/w"), "");
    const std::string refused = grab("ad min", "wrong");
    EXPECT_EQ(refused.rfind("No picture from 127.0.0.1:" + std::to_string(server.port()) +
                                ": the stream could not be opened (",
                            0),
              0u)
        << refused;
    EXPECT_EQ(refused.find("wrong"), std::string::npos);
}

// Cameras that try to take what they should not: the credentials for another host, or the
// memory and time of the process. Each grab ends by its time limit, the process stays small,
// and no user name or password reaches 127.0.0.2.
TEST(HostileRtspCamera, RedirectsElsewhereAreRefusedAndEndlessDataIsBounded)
{
    struct Case {
        const char* mode;
        bool authFirst;
        const char* user;
        const char* error; // a part of it
    };
    const Case cases[] = {
        {"redirect", false, "cam", "sends the stream on to another host (127.0.0.2:"},
        {"redirect", true, "cam", "sends the stream on to another host (127.0.0.2:"},
        // Without credentials there is nothing to give away: the redirect is followed.
        {"redirect", false, "", "the stream could not be opened"},
        {"huge-describe", false, "cam", "the stream could not be opened"},
        {"endless-frame", false, "cam", "no picture of the stream within 2 seconds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + (c.authFirst ? " after log-on" : "") +
                     (*c.user ? "" : " without credentials"));
        HostileRtspServer server;
        std::string log;
        ASSERT_TRUE(server.start(c.mode, c.authFirst, &log)) << log;
        NetworkCameraLimits limits;
        limits.timeoutMs = 2000;
        CaptureDevice device(MakeNetworkCameraBackend(
            {"Hostile", server.url(), c.user, *c.user ? "s3cret" : ""}, limits));
        ASSERT_TRUE(device.connect());
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_FALSE(device.grabFrame());
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
                  4.0);
        EXPECT_NE(device.lastError().find(c.error), std::string::npos) << device.lastError();
        device.disconnect();
        const std::string requests = server.requests();
        std::istringstream lines(requests);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("127.0.0.2 ", 0) == 0) {
                EXPECT_TRUE(line.ends_with(" -")) << "credentials went to another host: " << line;
            }
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        EXPECT_LT(usage.ru_maxrss, 1024L * 1024L) << "kilobytes at most";
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, RtspCamera, ::testing::Values("mjpeg", "h264"),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                             return std::string(p.param);
                         });
