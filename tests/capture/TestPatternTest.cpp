#include "capture/CaptureDevice.h"
#include "capture/TestPatternBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace vistrel;

namespace {

std::unique_ptr<CaptureDevice> testPattern()
{
    auto dev = std::make_unique<CaptureDevice>(std::make_unique<TestPatternBackend>());
    EXPECT_TRUE(dev->connect());
    return dev;
}

bool isWhite(const RgbFrame& f, int x, int y)
{
    const std::uint8_t* p = f.row(y) + x * 3;
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

// Reads the frame number back from the picture: 3 x 5 cells of `scale` pixels, a digit every
// four cells, starting two cells in and one down.
std::string readCounter(const RgbFrame& f)
{
    static const char* glyphs[10] = {"111101101101111", "010110010010111", "111001111100111",
                                     "111001111001111", "101101111001001", "111100111001111",
                                     "111100111101111", "111001010010010", "111101111101111",
                                     "111101111001111"};
    const int scale = std::max(1, f.height / 60);
    std::string digits;
    for (int d = 0;; ++d) {
        std::string cells;
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
                cells += isWhite(f, scale * 2 + d * 4 * scale + col * scale + scale / 2,
                                 scale + row * scale + scale / 2)
                             ? '1'
                             : '0';
        int found = -1;
        for (int g = 0; g < 10; ++g)
            if (cells == glyphs[g])
                found = g;
        if (found < 0)
            return digits;
        digits += static_cast<char>('0' + found);
    }
}

} // namespace

TEST(TestPattern, OffersFiveSizesAndStartsAt320x240)
{
    auto dev = testPattern();
    EXPECT_EQ(dev->name(), "Test Pattern");
    EXPECT_EQ(
        dev->frameSizes(),
        (std::vector<FrameSize>{{160, 120}, {320, 240}, {640, 480}, {1280, 720}, {1920, 1080}}));
    ImageFormat format;
    ASSERT_TRUE(dev->getFormat(format));
    EXPECT_EQ(format, Rgb24Format(320, 240));

    ASSERT_TRUE(dev->setFormat(Rgb24Format(1900, 1000)));
    ASSERT_TRUE(dev->getFormat(format));
    EXPECT_EQ(format, Rgb24Format(1920, 1080));
    EXPECT_FALSE(dev->capabilities().hasDlgVideoSource);
    EXPECT_TRUE(dev->capabilities().hasDlgVideoFormat);
}

TEST(TestPattern, ThePictureDependsOnlyOnSizeAndFrameNumber)
{
    RgbFrame a, b, c;
    DrawTestPattern(a, 320, 240, 7);
    DrawTestPattern(b, 320, 240, 7);
    DrawTestPattern(c, 320, 240, 8);
    EXPECT_EQ(a.rgb, b.rgb);
    EXPECT_NE(a.rgb, c.rgb);

    // Colour bars: the yellow second bar, the blue seventh, below the counter box.
    const std::uint8_t* yellow = a.row(100) + 60 * 3;
    EXPECT_EQ((std::vector<int>{yellow[0], yellow[1], yellow[2]}), (std::vector<int>{191, 191, 0}));
    const std::uint8_t* blue = a.row(100) + 260 * 3;
    EXPECT_EQ((std::vector<int>{blue[0], blue[1], blue[2]}), (std::vector<int>{0, 0, 191}));
}

TEST(TestPattern, TheSquareMovesWithEveryFrame)
{
    for (const FrameSize size : {FrameSize{160, 120}, FrameSize{1920, 1080}}) {
        const PatternSquare s1 = TestPatternSquare(size.width, size.height, 1);
        const PatternSquare s2 = TestPatternSquare(size.width, size.height, 2);
        EXPECT_GT(s2.x, s1.x);
        RgbFrame f;
        DrawTestPattern(f, size.width, size.height, 2);
        EXPECT_TRUE(isWhite(f, s2.x, s2.y));
        EXPECT_TRUE(isWhite(f, s2.x + s2.side - 1, s2.y + s2.side - 1));
        EXPECT_FALSE(isWhite(f, s1.x, s1.y)) << "the square left its old place";
        EXPECT_LE(s2.y + s2.side, size.height);
    }
    // It wraps instead of leaving the picture.
    const PatternSquare far = TestPatternSquare(320, 240, 1000001);
    EXPECT_LE(far.x + far.side, 320);
}

TEST(TestPattern, FramesCarryTheirNumber)
{
    auto dev = testPattern();
    ASSERT_TRUE(dev->grabFrame());
    EXPECT_EQ(readCounter(dev->frame()), "1");
    ASSERT_TRUE(dev->grabFrame());
    EXPECT_EQ(readCounter(dev->frame()), "2");

    for (const FrameSize size : {FrameSize{160, 120}, FrameSize{1280, 720}}) {
        RgbFrame f;
        DrawTestPattern(f, size.width, size.height, 9876543210ULL);
        EXPECT_EQ(readCounter(f), "9876543210");
    }
}

TEST(TestPattern, PreviewDeliversAtTheSetPeriod)
{
    auto dev = testPattern();
    ASSERT_TRUE(dev->setPreviewRate(20));
    std::atomic<int> frames{0};
    dev->setPreviewListener([&](const RgbFrame&) { ++frames; });
    ASSERT_TRUE(dev->setPreview(true));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(dev->setPreview(false));
    const int seen = frames;
    // 300 ms at 20 ms a frame is 15 frames; leave room for a slow, shared machine.
    EXPECT_GE(seen, 5);
    EXPECT_LE(seen, 17);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(frames, seen) << "frames arrived with the preview off";
}

// A camera slower than the preview period: the preview asks it again as soon as it answers, yet
// switching the preview, its rate or grabbing waits at most for the answer in progress, never
// for the preview's next request.
TEST(TestPattern, ACameraSlowerThanThePreviewNeverHoldsOffTheCaller)
{
    class SlowPattern : public TestPatternBackend {
      public:
        explicit SlowPattern(std::atomic<int>& asked) : m_asked(asked) {}
        bool readFrame(RgbFrame& frame) override
        {
            ++m_asked;
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            return TestPatternBackend::readFrame(frame);
        }

      private:
        std::atomic<int>& m_asked;
    };
    std::atomic<int> asked{0};
    CaptureDevice dev(std::make_unique<SlowPattern>(asked));
    ASSERT_TRUE(dev.connect());
    ASSERT_TRUE(dev.setPreviewRate(10));
    dev.setPreviewListener([](const RgbFrame&) {});
    ASSERT_TRUE(dev.setPreview(true));
    struct Operation {
        const char* name;
        std::function<bool()> run;
        int ownRequests;
    };
    const Operation operations[] = {
        {"rate", [&] { return dev.setPreviewRate(10); }, 0},
        {"grab", [&] { return dev.grabFrame(); }, 1},
        {"sizes", [&] { return !dev.frameSizes().empty(); }, 0},
        {"preview off and on", [&] { return dev.setPreview(false) && dev.setPreview(true); }, 0},
    };
    for (int round = 0; round < 8; ++round) {
        for (const Operation& op : operations) {
            SCOPED_TRACE(op.name);
            std::this_thread::sleep_for(std::chrono::milliseconds(25)); // into a request
            const int before = asked;
            ASSERT_TRUE(op.run());
            // Besides its own, at most the request that began just as the operation was called.
            EXPECT_LE(asked - before, op.ownRequests + 1) << "round " << round;
        }
    }
    ASSERT_TRUE(dev.setPreview(false));
    const int stopped = asked;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(asked, stopped) << "the camera was asked with the preview off";
}
