#include "capture/V4l2Backend.h"
#include "capture/CaptureDrivers.h"

#include "FakeV4l2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <linux/videodev2.h>
#include <thread>

using namespace vistrel;
using vistrel::test::FakeV4l2;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kCam = "/dev/video0";

struct Fixture {
    std::shared_ptr<FakeV4l2> fake = std::make_shared<FakeV4l2>();
    CaptureDriverList drivers{fake};

    explicit Fixture(int timeoutMs = 500) { drivers.setFrameTimeout(timeoutMs); }
    FakeV4l2::Node& camera() { return fake->addCamera(kCam, "Fake Cam"); }
    std::unique_ptr<CaptureDevice> device() { return drivers.createDevice(0); }
};

// The fake camera numbers the frames of a stream in the red byte of every pixel.
int frameNumber(const RgbFrame& frame)
{
    return frame.rgb.empty() ? -1 : frame.rgb[0];
}

long msSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

} // namespace

TEST(V4l2Capture, FormatIsRgb24AtTheNearestOfferedSize)
{
    Fixture f;
    f.camera();
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());

    ImageFormat format;
    ASSERT_TRUE(dev->getFormat(format));
    EXPECT_EQ(format, Rgb24Format(640, 480));
    EXPECT_EQ(format.sizeImage, 640u * 3 * 480);
    EXPECT_EQ(dev->frameSizes(),
              (std::vector<FrameSize>{{160, 120}, {320, 240}, {640, 480}, {1280, 720}}));

    EXPECT_TRUE(dev->setFormat(Rgb24Format(330, 250)));
    ASSERT_TRUE(dev->getFormat(format));
    EXPECT_EQ(format, Rgb24Format(320, 240));

    // A top-down header (negative height) names the same size.
    ImageFormat topDown = Rgb24Format(1280, 720);
    topDown.height = -720;
    EXPECT_TRUE(dev->setFormat(topDown));
    FrameSize size;
    ASSERT_TRUE(dev->status(size));
    EXPECT_EQ(size, (FrameSize{1280, 720}));
}

TEST(V4l2Capture, HeadersThatDescribeNoPictureAreRefusedAndChangeNothing)
{
    Fixture f;
    f.camera();
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    ASSERT_TRUE(dev->setFormat(Rgb24Format(160, 120)));

    ImageFormat zero;
    ImageFormat noPlanes = Rgb24Format(640, 480);
    noPlanes.planes = 0;
    ImageFormat shortHeader = Rgb24Format(640, 480);
    shortHeader.size = 12;
    ImageFormat negativeWidth = Rgb24Format(640, 480);
    negativeWidth.width = -640;
    ImageFormat huge = Rgb24Format(100000, 480);
    for (const ImageFormat& bad : {zero, noPlanes, shortHeader, negativeWidth, huge}) {
        EXPECT_FALSE(dev->setFormat(bad));
        FrameSize size;
        ASSERT_TRUE(dev->status(size));
        EXPECT_EQ(size, (FrameSize{160, 120}));
    }
}

TEST(V4l2Capture, SteppedSizeRangesOfferTheCommonSizesInside)
{
    Fixture f;
    FakeV4l2::Node& cam = f.camera();
    cam.sizes.clear();
    cam.minSize = {48, 32};
    cam.maxSize = {1280, 720};
    cam.step = {16, 8};
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    const auto sizes = dev->frameSizes();
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.front(), (FrameSize{48, 32}));
    EXPECT_EQ(sizes.back(), (FrameSize{1280, 720}));
    // 176 x 144 is off the 16-pixel grid that starts at 48; 320 x 240 and 640 x 480 are on it.
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), FrameSize{640, 480}), sizes.end());
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), FrameSize{320, 240}), sizes.end());
    EXPECT_EQ(std::find(sizes.begin(), sizes.end(), FrameSize{1920, 1080}), sizes.end());
}

TEST(V4l2Capture, BusyOrUnconvertibleCamerasDoNotConnect)
{
    {
        Fixture f;
        f.camera().busy = true;
        auto dev = f.device();
        EXPECT_FALSE(dev->connect());
        EXPECT_NE(dev->lastError().find("Device or resource busy"), std::string::npos);
        EXPECT_FALSE(dev->isConnected());
        EXPECT_EQ(f.fake->openDescriptors(), 0);
    }
    {
        Fixture f;
        f.camera().busyBuffers = true;
        auto dev = f.device();
        EXPECT_FALSE(dev->connect());
        EXPECT_NE(dev->lastError().find("VIDIOC_REQBUFS: Device or resource busy"),
                  std::string::npos);
        EXPECT_EQ(f.fake->openDescriptors(), 0);
    }
    {
        Fixture f;
        f.camera().convertible = false;
        auto dev = f.device();
        EXPECT_FALSE(dev->connect());
        EXPECT_NE(dev->lastError().find("24-bit RGB"), std::string::npos);
        EXPECT_EQ(f.fake->openDescriptors(), 0);
    }
}

TEST(V4l2Capture, AGrabSkipsTheDarkFramesAndStopsTheStreamItStarted)
{
    Fixture f;
    f.camera().padding = 4; // rows wider than the picture must be cut to it
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    ASSERT_TRUE(dev->setFormat(Rgb24Format(160, 120)));

    ASSERT_TRUE(dev->grabFrame()) << dev->lastError();
    const RgbFrame frame = dev->frame();
    EXPECT_EQ(frame.width, 160);
    EXPECT_EQ(frame.height, 120);
    EXPECT_EQ(frameNumber(frame), kDarkFramesAfterStreamStart + 1);
    // Pixel (x, y) of the fake is (frame, x, y): rows are copied whole and in place.
    const std::uint8_t* last = frame.row(119) + 159 * 3;
    EXPECT_EQ(last[0], kDarkFramesAfterStreamStart + 1);
    EXPECT_EQ(last[1], 159);
    EXPECT_EQ(last[2], 119);

    EXPECT_FALSE(f.fake->streaming(kCam));
    EXPECT_EQ(f.fake->mappedBuffers(), 0);
    ASSERT_TRUE(dev->disconnect());
    EXPECT_EQ(f.fake->openDescriptors(), 0);
}

TEST(V4l2Capture, GrabsWhilePreviewingTakeAFreshFrameFromTheSharedStream)
{
    Fixture f;
    f.camera();
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    ASSERT_TRUE(dev->setPreview(true));
    EXPECT_TRUE(f.fake->streaming(kCam));

    ASSERT_TRUE(dev->grabFrame());
    const int first = frameNumber(dev->frame());
    EXPECT_EQ(first, kDarkFramesAfterStreamStart + 1);

    // Frames that were waiting in the buffers when the grab came are not the grab's frame.
    f.fake->deliver(kCam, 3);
    const auto produced = f.fake->framesProduced(kCam);
    ASSERT_TRUE(dev->grabFrame());
    EXPECT_EQ(frameNumber(dev->frame()), static_cast<int>(produced + 1));

    // The preview stream is the one the grabs used, and it keeps running.
    EXPECT_TRUE(f.fake->streaming(kCam));
    EXPECT_TRUE(dev->isPreviewing());
}

TEST(V4l2Capture, PreviewFramesAndWorkerGrabsRunSideBySide)
{
    Fixture f;
    f.camera();
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    ASSERT_TRUE(dev->setPreviewRate(10));
    std::atomic<int> previewFrames{0};
    dev->setPreviewListener([&](const RgbFrame& frame) {
        if (frame.width == 640 && frame.height == 480)
            ++previewFrames;
    });
    ASSERT_TRUE(dev->setPreview(true));

    std::atomic<int> grabbed{0};
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i)
            if (dev->grabFrame() && dev->frame().width == 640)
                ++grabbed;
    });
    worker.join();
    const auto start = Clock::now();
    while (previewFrames < 3 && msSince(start) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    dev->setPreviewListener(nullptr);

    EXPECT_EQ(grabbed, 20);
    EXPECT_GE(previewFrames, 3);
    // The preview goes on with another listener: by its second frame, a late call of the
    // removed one would have come.
    const int seen = previewFrames;
    std::atomic<int> later{0};
    dev->setPreviewListener([&](const RgbFrame&) { ++later; });
    const auto more = Clock::now();
    while (later < 2 && msSince(more) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    dev->setPreviewListener(nullptr);
    EXPECT_GE(later, 2);
    EXPECT_EQ(previewFrames, seen) << "a removed listener was still called";
}

TEST(V4l2Capture, UnpluggedMidStreamGrabsFailCleanly)
{
    Fixture f;
    f.camera();
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    std::atomic<int> previewFrames{0};
    dev->setPreviewListener([&](const RgbFrame&) { ++previewFrames; });
    ASSERT_TRUE(dev->setPreview(true));
    ASSERT_TRUE(dev->grabFrame());

    f.fake->unplug(kCam);
    const auto start = Clock::now();
    EXPECT_FALSE(dev->grabFrame());
    // Whichever of the grab and the preview thread meets the unplug first, the text says so.
    const std::string error = dev->lastError();
    EXPECT_TRUE(error.find("No such device") != std::string::npos ||
                error == "Cannot open /dev/video0: No such file or directory")
        << error;
    EXPECT_FALSE(dev->grabFrame());
    EXPECT_EQ(dev->lastError(), "Cannot open /dev/video0: No such file or directory");
    EXPECT_LT(msSince(start), 400);
    EXPECT_FALSE(dev->setFormat(Rgb24Format(320, 240)));

    // The buffers went back at once; switching the preview off and disconnecting still work.
    EXPECT_EQ(f.fake->mappedBuffers(), 0);
    EXPECT_TRUE(dev->setPreview(false));
    EXPECT_TRUE(dev->disconnect());
    EXPECT_EQ(f.fake->openDescriptors(), 0);
    // Gone from the list too.
    EXPECT_EQ(f.drivers.descriptions(), std::vector<std::string>{"Test Pattern"});
}

TEST(V4l2Capture, AnUnplugWakesAGrabWaitingForAFrame)
{
    Fixture f(5000);
    f.camera();
    f.fake->setAutoDeliver(false);
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());

    std::atomic<bool> result{true};
    const auto start = Clock::now();
    std::thread worker([&] { result = dev->grabFrame(); });
    // The grab waits for its frame when the camera goes.
    while (f.fake->waitingPolls() == 0 && msSince(start) < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(f.fake->waitingPolls(), 1);
    f.fake->unplug(kCam);
    worker.join();
    EXPECT_FALSE(result);
    EXPECT_LT(msSince(start), 2000);
    dev.reset(); // the destructor must not hang either
    EXPECT_EQ(f.fake->openDescriptors(), 0);
}

TEST(V4l2Capture, ACameraThatSendsNothingTimesOut)
{
    Fixture f(150);
    f.camera();
    f.fake->setAutoDeliver(false);
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    const auto start = Clock::now();
    EXPECT_FALSE(dev->grabFrame());
    EXPECT_GE(msSince(start), 140);
    EXPECT_LT(msSince(start), 1500);
    EXPECT_EQ(dev->lastError(), "/dev/video0: no frame from the camera within 150 ms");
    EXPECT_FALSE(f.fake->streaming(kCam));

    // With the preview on, a stalled stream is stopped and the next grab starts it afresh.
    ASSERT_TRUE(dev->setPreview(true));
    EXPECT_FALSE(dev->grabFrame());
    EXPECT_FALSE(f.fake->streaming(kCam));
    f.fake->setAutoDeliver(true);
    ASSERT_TRUE(dev->grabFrame()) << dev->lastError();
    EXPECT_EQ(frameNumber(dev->frame()), kDarkFramesAfterStreamStart + 1);
    EXPECT_TRUE(f.fake->streaming(kCam));
}

TEST(V4l2Capture, ACameraThatSendsOnlyDamagedFramesIsGivenUpOn)
{
    Fixture f;
    f.camera().brokenFrames = true;
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    const auto start = Clock::now();
    EXPECT_FALSE(dev->grabFrame());
    EXPECT_LT(msSince(start), 2000);
    EXPECT_EQ(dev->lastError(), "/dev/video0: the camera sends only broken frames");
    EXPECT_FALSE(f.fake->streaming(kCam));
}

TEST(V4l2Capture, ReadOnlyDevicesDeliverFramesThroughRead)
{
    Fixture f;
    FakeV4l2::Node& cam = f.camera();
    cam.readOnly = true;
    cam.current = {320, 240};
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    ASSERT_TRUE(dev->grabFrame()) << dev->lastError();
    EXPECT_EQ(dev->frame().width, 320);
    EXPECT_EQ(frameNumber(dev->frame()), kDarkFramesAfterStreamStart + 1);
}

TEST(V4l2Capture, TheSourceDialogExistsOnlyForCamerasWithControls)
{
    Fixture f;
    FakeV4l2::Node& cam = f.camera();
    auto dev = f.device();
    EXPECT_FALSE(dev->capabilities().hasDlgVideoFormat); // not connected
    ASSERT_TRUE(dev->connect());
    CaptureCapabilities caps = dev->capabilities();
    EXPECT_TRUE(caps.hasDlgVideoFormat);
    EXPECT_FALSE(caps.hasDlgVideoSource);
    EXPECT_FALSE(caps.hasDlgVideoDisplay);
    dev->disconnect();

    CaptureControl brightness;
    brightness.id = V4L2_CID_BRIGHTNESS;
    brightness.name = "Brightness";
    brightness.minimum = 0;
    brightness.maximum = 255;
    brightness.defaultValue = 128;
    brightness.value = 100;
    cam.controls[brightness.id] = brightness;
    ASSERT_TRUE(dev->connect());
    EXPECT_TRUE(dev->capabilities().hasDlgVideoSource);
    auto controls = dev->controls();
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].name, "Brightness");
    EXPECT_EQ(controls[0].value, 100);
    EXPECT_TRUE(dev->setControl(V4L2_CID_BRIGHTNESS, 200));
    EXPECT_EQ(dev->controls()[0].value, 200);
    EXPECT_FALSE(dev->setControl(V4L2_CID_BRIGHTNESS, 300));
    EXPECT_NE(dev->lastError().find("VIDIOC_S_CTRL"), std::string::npos);
}

TEST(V4l2Capture, MenusCarryTheirChoicesAndOnlyTheCamerasOwnPixelFormatsAreListed)
{
    Fixture f;
    FakeV4l2::Node& cam = f.camera();
    CaptureControl power;
    power.id = V4L2_CID_POWER_LINE_FREQUENCY;
    power.name = "Power Line Frequency";
    power.type = CaptureControl::Type::Menu;
    power.maximum = 2;
    power.value = 2;
    power.menuItems = {{0, "Disabled"}, {2, "60 Hz"}}; // the device skips value 1
    cam.controls[power.id] = power;
    CaptureControl reset;
    reset.id = V4L2_CID_PAN_RESET;
    reset.name = "Pan, Reset";
    reset.type = CaptureControl::Type::Button;
    cam.controls[reset.id] = reset;

    auto dev = f.device();
    EXPECT_TRUE(dev->pixelFormats().empty()); // not connected
    ASSERT_TRUE(dev->connect());
    const auto controls = dev->controls();
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].type, CaptureControl::Type::Menu);
    EXPECT_EQ(controls[0].menuItems, power.menuItems);
    EXPECT_EQ(controls[0].value, 2);
    EXPECT_EQ(controls[1].type, CaptureControl::Type::Button);
    EXPECT_TRUE(controls[1].menuItems.empty());
    // libv4l2's emulated RGB24 is what every frame becomes, not something the camera sends.
    EXPECT_EQ(dev->pixelFormats(), (std::vector<std::string>{"YUYV 4:2:2", "Motion-JPEG"}));
}

TEST(V4l2Capture, ACameraPluggedInAgainIsTakenUpAtItsSize)
{
    Fixture f;
    f.camera();
    auto dev = f.device();
    ASSERT_TRUE(dev->connect());
    ASSERT_TRUE(dev->setFormat(Rgb24Format(320, 240)));
    ASSERT_TRUE(dev->setPreview(true));
    ASSERT_TRUE(dev->grabFrame());

    f.fake->unplug(kCam);
    EXPECT_FALSE(dev->grabFrame());
    // Another camera took the node: not ours.
    f.fake->replug(kCam, "Other Cam");
    EXPECT_FALSE(dev->grabFrame());
    EXPECT_EQ(dev->lastError(), "/dev/video0 is now another device (Other Cam)");

    f.fake->unplug(kCam);
    f.fake->replug(kCam, "Fake Cam").current = {640, 480};
    ASSERT_TRUE(dev->grabFrame()) << dev->lastError();
    EXPECT_EQ(dev->frame().width, 320);
    EXPECT_EQ(frameNumber(dev->frame()), kDarkFramesAfterStreamStart + 1);
    EXPECT_TRUE(f.fake->streaming(kCam)) << "the preview goes on with the new stream";
    ASSERT_TRUE(dev->disconnect());
    EXPECT_EQ(f.fake->openDescriptors(), 0);
}
