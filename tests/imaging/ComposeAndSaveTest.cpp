#include "imaging/ComposeAndSave.h"

#include "TestSupport.h"
#include "imaging/codec/ImgLib.h"
#include "platform/PrivateTempDir.h"

#include <gtest/gtest.h>

#include <QImage>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <tuple>

using namespace vistrel;

namespace {

// A capture device that "grabs" a flat grey picture of a given size.
struct FakeGrabber : FrameGrabber {
    int width = 320, height = 240;
    std::uint8_t grey = 128;
    bool grabWorks = true;
    bool compressedFormat = false; // a driver left in a compressed format saves no usable bitmap
    bool previewing = false;
    std::vector<std::string> calls;

    bool IsPreviewing() const override { return previewing; }
    bool SetPreview(bool on) override
    {
        calls.push_back(on ? "preview on" : "preview off");
        previewing = on;
        return true;
    }
    bool GrabFrame() override
    {
        calls.push_back("grab");
        return grabWorks;
    }
    bool quadrants = false; // red, green / blue, white instead of grey
    bool handOver = false;  // gives the frame itself rather than a bitmap file
    RgbImage picture() const
    {
        RgbImage img = RgbImage::allocate(static_cast<size_t>(width) * height * 3);
        std::memset(img.data(), grey, img.size());
        for (int y = 0; quadrants && y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = img.data() + (static_cast<size_t>(y) * width + x) * 3;
                const int q = (y >= height / 2) * 2 + (x >= width / 2);
                p[0] = q == 0 || q == 3 ? 255 : 0;
                p[1] = q == 1 || q == 3 ? 255 : 0;
                p[2] = q >= 2 ? 255 : 0;
            }
        return img;
    }
    bool TakeFrame(RgbImage& frame, unsigned& w, unsigned& h) override
    {
        if (!handOver)
            return false;
        calls.push_back("take");
        frame = picture();
        w = static_cast<unsigned>(width);
        h = static_cast<unsigned>(height);
        return true;
    }
    std::vector<std::string> savedTo;
    bool SaveFrame(const std::string& path) override
    {
        calls.push_back("save");
        savedTo.push_back(path);
        const RgbImage img = picture();
        if (!ImgLibSaveRGBToBMP(path, img, width, height))
            return false;
        if (compressedFormat) { // biCompression = 'MJPG'
            std::string bytes = test::readFile(path);
            std::memcpy(&bytes[30], "MJPG", 4);
            test::writeFile(path, bytes);
        }
        return true;
    }
};

struct Decoded {
    RgbImage rgb;
    unsigned w = 0, h = 0;
    std::array<int, 3> at(int x, int y) const
    {
        const std::uint8_t* p = rgb.data() + (static_cast<size_t>(y) * w + x) * 3;
        return {p[0], p[1], p[2]};
    }
};

Decoded decode(const std::string& path)
{
    Decoded d;
    d.rgb = ImgLibReadRGBFromJPG(path, d.w, d.h);
    return d;
}

bool near(std::array<int, 3> a, std::array<int, 3> b, int tolerance = 12)
{
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

struct ComposeFixture : ::testing::Test {
    test::TempDir dir;
    test::ScopedEnv tmpdir{"TMPDIR", dir.path()};
    FakeGrabber grabber;
    ComposeSettings s;
    ComposeEnvironment env;
    std::vector<std::string> events;

    void SetUp() override
    {
        s.quality = 100;
        s.stamp = false;
        s.enableMessage = false;
        env.now = [] { return QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)); };
        env.locale = QLocale(QLocale::English, QLocale::UnitedStates);
        env.sleep = [this](int seconds) { events.push_back("sleep " + std::to_string(seconds)); };
        env.playSound = [this](const std::string& f) { events.push_back("sound " + f); };
    }
    std::string data(const std::string& name)
    {
        return test::sourceDir() + "/tests/imaging/data/" + name;
    }
    ComposeResult compose() { return ComposeAndSave(dir.file("out.jpg"), s, &grabber, env); }
};

} // namespace

// A strftime pattern replaces the layout; one that gives nothing falls back to it, since an
// empty stamp text would read as a failed capture.
TEST_F(ComposeFixture, TimePatternReplacesTheLayoutWhenItGivesAText)
{
    s.timeFormat = "%Y-%m-%d %H.%M.%S";
    EXPECT_EQ(compose().stampText, "2026-12-08 14.05.09");
    s.timeFormat = std::string(1100, 'x');
    EXPECT_EQ(compose().stampText, "12/8/26 2:05 PM");
}

TEST_F(ComposeFixture, PlainFrameStillReturnsTheStampText)
{
    const ComposeResult r = compose();
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.stampText, "12/8/26 2:05 PM");
    EXPECT_EQ(r.width, 320);
    EXPECT_EQ(r.height, 240);
    const Decoded d = decode(dir.file("out.jpg"));
    ASSERT_EQ(d.w, 320u);
    for (auto [x, y] : {std::pair{0, 0}, {319, 239}, {160, 120}})
        EXPECT_TRUE(near(d.at(x, y), {128, 128, 128}));
    // The grabbed frame went through a file of its own in the private temporary directory,
    // which is gone again; the next composition gets another one.
    ASSERT_EQ(grabber.savedTo.size(), 1u);
    EXPECT_EQ(grabber.savedTo[0].rfind(PrivateTempDirectory() + "/", 0), 0u);
    ASSERT_EQ(compose().error, "");
    EXPECT_NE(grabber.savedTo[1], grabber.savedTo[0]);
    EXPECT_TRUE(std::filesystem::is_empty(PrivateTempDirectory()));
    // Nothing but the picture is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}),
              2); // + vistrel-uid
}

// A grabber that hands its frame over needs no bitmap file, and the picture is the same.
TEST_F(ComposeFixture, AFrameHandedOverComposesAsOneThroughTheBitmapFile)
{
    grabber.quadrants = true;
    for (bool handOver : {false, true}) {
        SCOPED_TRACE(handOver ? "handed over" : "through the file");
        grabber.handOver = handOver;
        grabber.savedTo.clear();
        const ComposeResult r = compose();
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.width, 320);
        EXPECT_EQ(grabber.savedTo.size(), handOver ? 0u : 1u);
        const Decoded d = decode(dir.file("out.jpg"));
        ASSERT_EQ(d.w, 320u);
        EXPECT_TRUE(near(d.at(40, 30), {255, 0, 0}));
        EXPECT_TRUE(near(d.at(280, 30), {0, 255, 0}));
        EXPECT_TRUE(near(d.at(40, 210), {0, 0, 255}));
        EXPECT_TRUE(near(d.at(280, 210), {255, 255, 255}));
        EXPECT_TRUE(std::filesystem::is_empty(PrivateTempDirectory()));
    }
}

TEST_F(ComposeFixture, LogoCornersAndClipping)
{
    s.enableOverlay = true;
    s.overlayFilename = data("logo.gif");
    struct Case {
        int code;
        int x, y;
    };
    for (const Case c : {Case{8, 220, 190}, Case{4, 110, 95}, Case{0, 0, 0}, Case{6, 0, 190}}) {
        SCOPED_TRACE(c.code);
        s.overlayAlignment = c.code;
        ASSERT_EQ(compose().error, "");
        const Decoded d = decode(dir.file("out.jpg"));
        EXPECT_TRUE(near(d.at(c.x + 2, c.y + 2), {255, 0, 0}));   // red left half
        EXPECT_TRUE(near(d.at(c.x + 97, c.y + 47), {0, 255, 0})); // green right half, opaque
        if (c.x > 0) {
            EXPECT_TRUE(near(d.at(c.x - 3, c.y + 25), {128, 128, 128}));
        }
        if (c.y > 0) {
            EXPECT_TRUE(near(d.at(c.x + 25, c.y - 3), {128, 128, 128}));
        }
    }
    // A logo wider than the frame, centred on the right edge, is clipped at the left.
    grabber.width = 80;
    grabber.height = 60;
    s.overlayAlignment = 2; // x = 80 - 100 = -20: the red half shows from x 0 to 29
    ASSERT_EQ(compose().error, "");
    const Decoded d = decode(dir.file("out.jpg"));
    EXPECT_TRUE(near(d.at(5, 10), {255, 0, 0}));
    EXPECT_TRUE(near(d.at(50, 10), {0, 255, 0}));
}

TEST_F(ComposeFixture, GifTransparencyOnlyWhenAskedAndPngByItsAlpha)
{
    s.enableOverlay = true;
    s.overlayFilename = data("logo.gif");
    s.overlayTransparency = true;
    ASSERT_EQ(compose().error, "");
    Decoded d = decode(dir.file("out.jpg"));
    EXPECT_TRUE(near(d.at(5, 5), {255, 0, 0}));
    EXPECT_TRUE(near(d.at(80, 25), {128, 128, 128})); // the transparent half shows the frame

    // A PNG is blended by its alpha: its transparent half shows the frame, 60 % blue over the
    // grey frame gives (51, 51, 204); one that is transparent everywhere leaves the frame alone.
    QImage alpha(40, 20, QImage::Format_ARGB32);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            alpha.setPixel(x, y, x < 20 ? qRgba(255, 0, 0, 0) : qRgba(0, 0, 255, 153));
    ASSERT_TRUE(alpha.save(QString::fromStdString(dir.file("alpha.png"))));
    s.overlayFilename = dir.file("alpha.png");
    s.overlayAlignment = 0;
    ASSERT_EQ(compose().error, "");
    d = decode(dir.file("out.jpg"));
    EXPECT_TRUE(near(d.at(8, 10), {128, 128, 128}));
    EXPECT_TRUE(near(d.at(32, 10), {51, 51, 204}));
    s.overlayFilename = data("logo.png"); // alpha 0 everywhere
    ASSERT_EQ(compose().error, "");
    d = decode(dir.file("out.jpg"));
    EXPECT_TRUE(near(d.at(50, 25), {128, 128, 128}));
}

TEST_F(ComposeFixture, FailureTexts)
{
    s.enableOverlay = true;
    s.overlayFilename = dir.file("logo.jpeg");
    test::writeFile(s.overlayFilename, "not read at all");
    ComposeResult r = compose();
    EXPECT_EQ(r.stampText, "");
    EXPECT_EQ(r.error, "Image Error (0): No error (Overlay Image - ImgLibReadRGBFromGIF)");

    s.overlayFilename = dir.file("LOGO.GIF"); // any case; missing file → the reader's own code
    r = compose();
    EXPECT_EQ(r.error, ImageLibraryErrorText(2) + " (Overlay Image - ImgLibReadRGBFromGIF)");

    s.enableOverlay = false;
    grabber.compressedFormat = true;
    r = compose();
    EXPECT_EQ(r.error, ImageLibraryErrorText(6) + " (ImgLibReadRGBFromBMP)");

    const char* saveFailed =
        "Capture Error: Unable to save captured image.\n Please check your Image Format "
        "Settings.\n The Help file Device Settings section contains\n additional information on "
        "this error.";
    EXPECT_EQ(ComposeAndSave(dir.file("out.jpg"), s, nullptr, env).error, saveFailed);
    grabber.compressedFormat = false;
    grabber.grabWorks = false;
    EXPECT_EQ(compose().error, saveFailed);

    grabber.grabWorks = true;
    r = ComposeAndSave(dir.file("no/such/dir/out.jpg"), s, &grabber, env);
    EXPECT_NE(r.error.find("(ImgLibSaveRGBToJPG)"), std::string::npos);
}

TEST_F(ComposeFixture, PreviewLeadTimeAndShutterSound)
{
    s.disablePreview = true;
    s.previewLeadTime = 3;
    s.useSound = true;
    ASSERT_EQ(compose().error, "");
    EXPECT_EQ(grabber.calls,
              (std::vector<std::string>{"preview on", "grab", "preview off", "save"}));
    EXPECT_EQ(events, (std::vector<std::string>{"sleep 3", "sound shutter.wav"}));

    grabber.calls.clear();
    events.clear();
    s.previewLeadTime = 0; // no lead time: grab without switching the preview on
    s.useSound = false;
    ASSERT_EQ(compose().error, "");
    EXPECT_EQ(grabber.calls, (std::vector<std::string>{"grab", "save"}));
    EXPECT_TRUE(events.empty());
}

TEST_F(ComposeFixture, StampAndBannerAreDrawnWhereTheirCodesSay)
{
    s.stamp = true;
    s.timeAlignment = 5; // bottom right
    s.timeFont = {"DejaVu Sans", -16, 0, 700, false};
    s.timeFontColor = 0x0000FF; // red
    s.timeShadowText = false;
    s.enableMessage = true;
    s.message = "BANNER";
    s.alignment = 0; // top left
    s.font = {"DejaVu Sans", -16, 0, 700, false};
    s.fontColor = 0xFF0000; // blue
    s.shadowText = false;
    ASSERT_EQ(compose().error, "");
    const Decoded d = decode(dir.file("out.jpg"));
    auto countNear = [&](int x0, int y0, int x1, int y1, std::array<int, 3> colour) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += near(d.at(x, y), colour, 40);
        return n;
    };
    EXPECT_GT(countNear(0, 0, 100, 20, {0, 0, 255}), 20); // banner ink, top left
    EXPECT_EQ(countNear(0, 200, 320, 240, {0, 0, 255}), 0);
    EXPECT_GT(countNear(160, 215, 320, 240, {255, 0, 0}), 20); // stamp ink, bottom right
    EXPECT_EQ(countNear(0, 0, 320, 100, {255, 0, 0}), 0);

    // An empty banner draws nothing.
    s.stamp = false;
    s.message = "";
    ASSERT_EQ(compose().error, "");
    const Decoded plain = decode(dir.file("out.jpg"));
    for (int x = 0; x < 100; x += 7)
        EXPECT_TRUE(near(plain.at(x, 8), {128, 128, 128}));
}

TEST_F(ComposeFixture, CompositionsSideBySideNeverMixFramesAndReadersSeeWholePictures)
{
    // Two compositions at once, as two instances of the program run them, each with its own
    // frame size, while a third thread keeps reading the first one's picture.
    FakeGrabber small;
    small.width = 160;
    small.height = 120;
    const std::string big = dir.file("big.jpg"), little = dir.file("little.jpg");
    ASSERT_EQ(ComposeAndSave(big, s, &grabber, env).error, "");
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0}, reads{0};
    std::thread reader([&] {
        while (!done) {
            unsigned w = 0, h = 0;
            const RgbImage img = ImgLibReadRGBFromJPG(big, w, h);
            badReads += !img || w != 320 || h != 240;
            ++reads;
        }
    });
    auto run = [&](FakeGrabber* g, const std::string& out, int w, int h, int* wrong) {
        ComposeEnvironment quiet = env;
        quiet.sleep = nullptr;
        quiet.playSound = nullptr;
        for (int i = 0; i < 40; ++i) {
            const ComposeResult r = ComposeAndSave(out, s, g, quiet);
            unsigned ow = 0, oh = 0;
            const RgbImage img = ImgLibReadRGBFromJPG(out, ow, oh);
            *wrong +=
                !r.error.empty() || r.width != w || !img || ow != unsigned(w) || oh != unsigned(h);
        }
    };
    int wrongBig = 0, wrongSmall = 0;
    std::thread a(run, &grabber, big, 320, 240, &wrongBig);
    std::thread b(run, &small, little, 160, 120, &wrongSmall);
    a.join();
    b.join();
    done = true;
    reader.join();
    EXPECT_EQ(wrongBig, 0);
    EXPECT_EQ(wrongSmall, 0);
    EXPECT_EQ(badReads, 0) << "of " << reads;
    EXPECT_TRUE(std::filesystem::is_empty(PrivateTempDirectory()));
}

TEST_F(ComposeFixture, LogosAreReadWithABoundTiedToTheFrame)
{
    EXPECT_EQ(LogoPixelLimit(320, 240), 1024u * 1024u); // small frames: a megapixel
    EXPECT_EQ(LogoPixelLimit(1920, 1080), 1920u * 1080u);
    EXPECT_EQ(LogoPixelLimit(100000, 100000), ImgLibMaxPixels);
    EXPECT_EQ(LogoPixelLimit(-5, 7), 1024u * 1024u);

    // 35 bytes that announce an 8192 x 8192 screen around one pixel.
    const unsigned char hostile[] = {'G',  'I',  'F',  '8',  '9',  'a',  0x00, 0x20, 0x00,
                                     0x20, 0x80, 0x00, 0x00, 0,    0,    0,    255,  255,
                                     255,  0x2C, 0,    0,    0,    0,    1,    0,    1,
                                     0,    0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    s.enableOverlay = true;
    s.overlayFilename = dir.file("hostile.gif");
    test::writeFile(s.overlayFilename,
                    std::string(reinterpret_cast<const char*>(hostile), sizeof hostile));
    const long before = test::residentKiB();
    EXPECT_EQ(compose().error,
              ImageLibraryErrorText(1) + " (Overlay Image - ImgLibReadRGBFromGIF)");
    EXPECT_LT(test::residentKiB() - before, 50 * 1024); // the 200 MB screen was never made

    // The viewer's bound stays: a 2048 x 2048 screen reads there, but is no logo for 320 x 240.
    std::string screen(reinterpret_cast<const char*>(hostile), sizeof hostile);
    screen[7] = screen[9] = 0x08;
    test::writeFile(s.overlayFilename, screen);
    unsigned w = 0, h = 0;
    ColorRef transparent = 0;
    EXPECT_TRUE(ImgLibReadRGBFromGIF(s.overlayFilename, w, h, transparent));
    EXPECT_EQ(w, 2048u);
    EXPECT_EQ(compose().error,
              ImageLibraryErrorText(1) + " (Overlay Image - ImgLibReadRGBFromGIF)");
    grabber.width = grabber.height = 2048; // on a frame that large it is drawn
    EXPECT_EQ(compose().error, "");
}

TEST_F(ComposeFixture, LeadTimeEndsWhenTheQuitEventComes)
{
    AutoResetEvent quit;
    env.sleep = nullptr;
    env.quit = &quit;
    s.disablePreview = true;
    s.previewLeadTime = 30;
    std::thread shutdown([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        quit.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    compose();
    const auto took = std::chrono::steady_clock::now() - start;
    shutdown.join();
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_TRUE(quit.Wait(0)); // still there for the worker's own quit check
    EXPECT_EQ(grabber.calls.front(), "preview on");
    EXPECT_EQ(grabber.calls.back(), "save");
}

TEST(OrientFrame, TurnsAndMirrorsEveryPixel)
{
    // A 3 x 2 picture whose pixels are numbered a..f, row by row:  a b c
    //                                                               d e f
    struct Case {
        int rotate;
        bool mirror;
        unsigned width, height;
        std::string pixels;
    };
    const Case cases[] = {
        {0, false, 3, 2, "abcdef"},   {90, false, 2, 3, "daebfc"}, {180, false, 3, 2, "fedcba"},
        {270, false, 2, 3, "cfbead"}, {0, true, 3, 2, "cbafed"},   {90, true, 2, 3, "adbecf"},
        {180, true, 3, 2, "defabc"},  {270, true, 2, 3, "fcebda"}, {45, false, 3, 2, "abcdef"},
    };
    for (const Case& c : cases) {
        RgbImage frame = RgbImage::allocate(3 * 2 * 3);
        for (int i = 0; i < 6; ++i)
            std::memset(frame.data() + i * 3, 'a' + i, 3);
        unsigned width = 3, height = 2;
        const RgbImage out = OrientFrame(frame, width, height, c.rotate, c.mirror);
        ASSERT_EQ(out.size(), 18u);
        std::string pixels;
        for (int i = 0; i < 6; ++i)
            pixels += static_cast<char>(out.data()[i * 3]);
        EXPECT_EQ(std::make_tuple(width, height, pixels),
                  std::make_tuple(c.width, c.height, c.pixels))
            << c.rotate << (c.mirror ? " mirrored" : "");
    }
}
