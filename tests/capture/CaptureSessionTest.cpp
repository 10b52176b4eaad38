#include "capture/CaptureSession.h"
#include "platform/PrivateTempDir.h"

#include "FakeV4l2.h"
#include "RecordingPrompter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <linux/videodev2.h>
#include <map>

using namespace vistrel;
using vistrel::test::FakeV4l2;
using vistrel::test::RecordingPrompter;

namespace {

struct Fixture {
    std::shared_ptr<FakeV4l2> fake = std::make_shared<FakeV4l2>();
    CaptureDriverList drivers{fake};
    RecordingPrompter prompter;
    CaptureSession session{drivers, prompter};
};

std::uint32_t le32(const std::string& b, std::size_t at)
{
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
           static_cast<std::uint8_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

std::uint16_t le16(const std::string& b, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) |
                                      static_cast<std::uint8_t>(b[at + 1]) << 8);
}

} // namespace

TEST(CaptureSession, PreviewPeriodIsAThousandDividedByTheRate)
{
    EXPECT_EQ(PreviewPeriodMs(25), 40);
    EXPECT_EQ(PreviewPeriodMs(30), 33);
    EXPECT_EQ(PreviewPeriodMs(1), 1000);
    EXPECT_EQ(PreviewPeriodMs(45), 22);
    EXPECT_EQ(PreviewPeriodMs(0), 0);
    EXPECT_EQ(PreviewPeriodMs(-5), 0);
}

TEST(CaptureSession, AMissingOrBusyDriverGivesTheConnectFailure)
{
    const std::string text = "Unable to connect to video driver!\nThe requested video driver is "
                             "either not installed or is in use by another program.";
    {
        Fixture f; // only the test pattern: driver 3 does not exist
        CaptureSettings settings;
        settings.captureDevice = 3;
        EXPECT_FALSE(f.session.ConnectCaptureDriver(settings));
        EXPECT_FALSE(f.session.isConnected());
        EXPECT_EQ(f.prompter.texts(), std::vector<std::string>{text});
        EXPECT_EQ(f.prompter.shown()[0].icon, PromptIcon::Exclamation);
        EXPECT_EQ(f.session.GrabSampleFrame(), "");
    }
    {
        Fixture f;
        f.fake->addCamera("/dev/video0", "Busy Cam").busy = true;
        EXPECT_FALSE(f.session.ConnectCaptureDriver(CaptureSettings{}));
        EXPECT_EQ(f.prompter.texts(), std::vector<std::string>{text});
        EXPECT_FALSE(f.session.isConnected());
    }
}

TEST(CaptureSession, ConnectingPutsTheStoredFormatBackAndStartsThePreview)
{
    Fixture f;
    f.fake->addCamera("/dev/video0", "Fake Cam");
    CaptureSettings settings;
    settings.storedFormat = Rgb24Format(160, 120);
    ASSERT_TRUE(f.session.ConnectCaptureDriver(settings));
    EXPECT_TRUE(f.session.isConnected());
    EXPECT_TRUE(f.prompter.texts().empty());
    EXPECT_EQ(f.session.driverInfo(), "Fake Cam\n160 x 120, 24 bit color");
    EXPECT_EQ(f.session.previewSize(), (FrameSize{160, 120}));
    auto dev = f.session.device();
    EXPECT_TRUE(dev->isPreviewing());
    EXPECT_EQ(dev->previewPeriod(), 40);
    EXPECT_TRUE(f.fake->streaming("/dev/video0"));

    // A device change replaces the device; switching preview off keeps the camera dark.
    settings.captureDevice = 1;
    settings.disablePreview = true;
    settings.previewRate = 30;
    settings.storedFormat = {}; // first start: all zero, refused without a word
    ASSERT_TRUE(f.session.ConnectCaptureDriver(settings));
    EXPECT_TRUE(f.prompter.texts().empty());
    EXPECT_EQ(f.session.driverInfo(), "Test Pattern\n320 x 240, 24 bit color");
    EXPECT_EQ(f.session.device()->previewPeriod(), 33);
    EXPECT_FALSE(f.session.device()->isPreviewing());
    dev.reset();
    EXPECT_FALSE(f.fake->streaming("/dev/video0"));
    EXPECT_EQ(f.fake->openDescriptors(), 0);
}

TEST(CaptureSession, ReconnectingTheSameCameraFindsItFreeWhileTheWorkerHoldsTheOldDevice)
{
    Fixture f;
    f.fake->addCamera("/dev/video0", "Fake Cam");
    ASSERT_TRUE(f.session.ConnectCaptureDriver(CaptureSettings{}));
    const auto held = f.session.device(); // as a worker in the middle of a cycle would
    ASSERT_TRUE(f.session.ConnectCaptureDriver(CaptureSettings{}));
    EXPECT_TRUE(f.prompter.texts().empty());
    EXPECT_NE(f.session.device(), held);
    EXPECT_FALSE(held->grabFrame());
    EXPECT_TRUE(f.session.device()->grabFrame());
}

TEST(CaptureSession, TheFormatSurvivesARoundTripThroughTheSettingsKeys)
{
    Fixture f;
    f.fake->addCamera("/dev/video0", "Fake Cam");
    ASSERT_TRUE(f.session.ConnectCaptureDriver(CaptureSettings{}));
    ASSERT_TRUE(f.session.device()->setFormat(Rgb24Format(1280, 720)));

    // The device page writes the driver's format under ImageFormat…
    std::map<std::string, std::int64_t> keys;
    ImageFormat current;
    ASSERT_TRUE(f.session.device()->getFormat(current));
    WriteImageFormat(current, [&](const std::string& k, std::int64_t v) { keys[k] = v; });
    const std::map<std::string, std::int64_t> expected{
        {"Size", 40},         {"Width", 1280},    {"Height", 720},        {"Planes", 1},
        {"BitCount", 24},     {"Compression", 0}, {"SizeImage", 2764800}, {"XPelsPerMeter", 0},
        {"YPelsPerMeter", 0}, {"ClrUsed", 0},     {"ClrImportant", 0}};
    EXPECT_EQ(keys, expected);

    // …and the next start reads them back and puts the same format on the driver.
    Fixture next;
    next.fake->addCamera("/dev/video0", "Fake Cam");
    CaptureSettings settings;
    settings.storedFormat = ReadImageFormat([&](const std::string& k) { return keys[k]; });
    EXPECT_EQ(settings.storedFormat, current);
    ASSERT_TRUE(next.session.ConnectCaptureDriver(settings));
    ImageFormat restored;
    ASSERT_TRUE(next.session.device()->getFormat(restored));
    EXPECT_EQ(restored, current);
    EXPECT_EQ(next.session.previewSize(), (FrameSize{1280, 720}));
}

TEST(CaptureSession, StoredFieldsWrapLikeTheirThirtyTwoBitValues)
{
    ImageFormat f = Rgb24Format(640, 480);
    f.compression = 0x32595559; // a four-character code
    f.clrUsed = 0xFFFFFFFF;
    std::map<std::string, std::int64_t> keys;
    WriteImageFormat(f, [&](const std::string& k, std::int64_t v) { keys[k] = v; });
    EXPECT_EQ(keys["Compression"], 0x32595559);
    EXPECT_EQ(keys["ClrUsed"], -1);
    EXPECT_EQ(ReadImageFormat([&](const std::string& k) { return keys[k]; }), f);
}

TEST(CaptureSession, TheSampleFrameIsABottomUpBitmapInThePrivateTempDir)
{
    vistrel::test::TempDir tmp;
    test::ScopedEnv env("TMPDIR", tmp.path());
    Fixture f;
    CaptureSettings settings;
    settings.storedFormat = Rgb24Format(160, 120);
    ASSERT_TRUE(f.session.ConnectCaptureDriver(settings));

    const std::string path = f.session.GrabSampleFrame();
    ASSERT_EQ(path, PrivateTempDirectory() + "/~vs.bmp");
    const RgbFrame frame = f.session.device()->frame();
    const std::string bmp = vistrel::test::readFile(path);
    ASSERT_EQ(bmp.size(), 54u + 160 * 3 * 120);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(le32(bmp, 2), bmp.size());
    EXPECT_EQ(le32(bmp, 10), 54u);
    EXPECT_EQ(le32(bmp, 14), 40u);
    EXPECT_EQ(le32(bmp, 18), 160u);
    EXPECT_EQ(le32(bmp, 22), 120u);
    EXPECT_EQ(le16(bmp, 26), 1);
    EXPECT_EQ(le16(bmp, 28), 24);
    EXPECT_EQ(le32(bmp, 30), 0u);
    EXPECT_EQ(le32(bmp, 34), 160u * 3 * 120);
    // The first stored row is the picture's bottom row, blue first.
    for (int y : {0, 119})
        for (int x : {0, 37, 159}) {
            const std::uint8_t* p = frame.row(y) + x * 3;
            const std::size_t at = 54 + static_cast<std::size_t>(119 - y) * 480 + x * 3;
            EXPECT_EQ(static_cast<std::uint8_t>(bmp[at]), p[2]);
            EXPECT_EQ(static_cast<std::uint8_t>(bmp[at + 1]), p[1]);
            EXPECT_EQ(static_cast<std::uint8_t>(bmp[at + 2]), p[0]);
        }
}

TEST(CaptureSession, BitmapRowsArePaddedToFourBytes)
{
    vistrel::test::TempDir tmp;
    RgbFrame frame;
    frame.resize(5, 2);
    for (std::size_t i = 0; i < frame.rgb.size(); ++i)
        frame.rgb[i] = static_cast<std::uint8_t>(i + 1);
    std::string error;
    ASSERT_TRUE(SaveRgbFrameAsBmp(frame, tmp.file("odd.bmp"), &error)) << error;
    const std::string bmp = vistrel::test::readFile(tmp.file("odd.bmp"));
    ASSERT_EQ(bmp.size(), 54u + 2 * 16);
    EXPECT_EQ(le32(bmp, 34), 32u);
    // Bottom row (bytes 16..30 of the frame) first, as BGR, then one padding byte.
    EXPECT_EQ(static_cast<std::uint8_t>(bmp[54]), 18);
    EXPECT_EQ(static_cast<std::uint8_t>(bmp[55]), 17);
    EXPECT_EQ(static_cast<std::uint8_t>(bmp[56]), 16);
    EXPECT_EQ(bmp[54 + 15], 0);
    EXPECT_EQ(static_cast<std::uint8_t>(bmp[54 + 16]), 3);

    // Nothing to save, or a path that cannot be written, fails with a text.
    EXPECT_FALSE(SaveRgbFrameAsBmp(RgbFrame{}, tmp.file("empty.bmp"), &error));
    EXPECT_FALSE(SaveRgbFrameAsBmp(frame, tmp.file("missing/dir.bmp"), &error));
    EXPECT_NE(error.find("missing/dir.bmp"), std::string::npos);
}

TEST(CaptureSession, AnUnpluggedCameraMakesTheSampleGrabFailAndDisconnectStillWorks)
{
    vistrel::test::TempDir tmp;
    test::ScopedEnv env("TMPDIR", tmp.path());
    Fixture f;
    f.fake->addCamera("/dev/video0", "Fake Cam");
    ASSERT_TRUE(f.session.ConnectCaptureDriver(CaptureSettings{}));
    ASSERT_FALSE(f.session.GrabSampleFrame().empty());
    f.fake->unplug("/dev/video0");
    EXPECT_EQ(f.session.GrabSampleFrame(), "");
    EXPECT_TRUE(f.session.DisconnectCaptureDriver());
    EXPECT_FALSE(f.session.isConnected());
    EXPECT_FALSE(f.session.DisconnectCaptureDriver());
    EXPECT_EQ(f.fake->openDescriptors(), 0);
}

TEST(CaptureSession, DriverInfoNeedsAConnectedDriver)
{
    Fixture f;
    f.session.ShowDriverInfo();
    f.session.PlacePreviewWindow();
    EXPECT_EQ(f.prompter.texts(), (std::vector<std::string>{"Failed to allocate BITMAPINFO buffer",
                                                            "Failed to get capture status"}));
    EXPECT_EQ(f.session.driverInfo(), "");
}

// The controls of ImageFormat/CameraControls are set at connect by their settings names; what
// cannot be set is named in one message and the rest are set all the same.
TEST(CaptureSession, CameraControlsAreSetAtConnect)
{
    const struct {
        const char* text;
        std::int32_t brightness, power;
        const char* message; // "" for none
    } cases[] = {
        {"brightness=200, power_line_frequency=60_hz", 200, 2, ""},
        {" Brightness = 10 ; Power Line Frequency=0 ", 10, 0, ""},
        {"power_line_frequency=1", 128, 1, ""},
        {"brightness=300,power_line_frequency=50_hz", 128, 1,
         "Camera controls (ImageFormat/CameraControls): brightness=300 is outside 0 to 255; the "
         "others are set."},
        {"zoom=3, brightness, power_line_frequency=2", 128, 2,
         "Camera controls (ImageFormat/CameraControls): \"brightness\" is no name=value pair; the "
         "camera has no control zoom; the others are set."},
        {"brightness=bright;power_line_frequency=25_hz", 128, 1,
         "Camera controls (ImageFormat/CameraControls): brightness=bright is no number; "
         "power_line_frequency=25_hz is none of its choices (0 disabled, 1 50_hz, 2 60_hz); the "
         "others are set."},
    };
    for (const auto& c : cases) {
        Fixture f;
        FakeV4l2::Node& cam = f.fake->addCamera("/dev/video0", "Fake Cam");
        CaptureControl brightness;
        brightness.id = V4L2_CID_BRIGHTNESS;
        brightness.name = "Brightness";
        brightness.maximum = 255;
        brightness.value = 128;
        cam.controls[brightness.id] = brightness;
        CaptureControl power;
        power.id = V4L2_CID_POWER_LINE_FREQUENCY;
        power.name = "Power Line Frequency";
        power.type = CaptureControl::Type::Menu;
        power.maximum = 2;
        power.value = 1;
        power.menuItems = {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};
        cam.controls[power.id] = power;

        CaptureSettings settings;
        settings.cameraControls = c.text;
        ASSERT_TRUE(f.session.ConnectCaptureDriver(settings)) << c.text;
        EXPECT_EQ(cam.controls[V4L2_CID_BRIGHTNESS].value, c.brightness) << c.text;
        EXPECT_EQ(cam.controls[V4L2_CID_POWER_LINE_FREQUENCY].value, c.power) << c.text;
        EXPECT_EQ(f.prompter.texts(), std::string(c.message).empty()
                                          ? std::vector<std::string>{}
                                          : std::vector<std::string>{c.message})
            << c.text;
    }
}
