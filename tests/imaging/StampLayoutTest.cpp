// The entry points the stamp and logo dialogs share with the pipeline: a stamp drawn in its own
// font with either line layout, and the logo reader chosen by the file name.
#include "imaging/LogoFile.h"
#include "imaging/Stamp.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <filesystem>

using namespace vistrel;

namespace {

const QRgb kBackground = qRgb(0, 0, 255);

QRect inkBounds(const QImage& img)
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != kBackground)
                r |= QRect(x, y, 1, 1);
    return r;
}

QImage stamped(int alignment, StampLines lines,
               const FontRecord& font = {"DejaVu Sans", -16, 0, 700, false})
{
    QImage img(320, 240, QImage::Format_RGB32);
    img.fill(kBackground);
    QPainter p(&img);
    const QFont before = p.font();
    DrawStamp(p, font, QString("a long stamp text that cannot fit ").repeated(3), 320, 240,
              alignment, true, 0xFFFFFF, lines);
    EXPECT_EQ(p.font(), before); // the painter's font is put back
    return img;
}

} // namespace

TEST(StampLayout, SingleLineStaysOnOneLineAtTheTopOrBottom)
{
    const QRect wrapped = inkBounds(stamped(1, StampLines::ByAlignment));
    const QRect topLine = inkBounds(stamped(1, StampLines::SingleLine));
    const QRect bottomLine = inkBounds(stamped(4, StampLines::SingleLine));
    EXPECT_GT(wrapped.height(), 40);
    EXPECT_LT(topLine.top(), 10);
    EXPECT_LT(topLine.height(), 25);
    EXPECT_GT(bottomLine.bottom(), 225);
    EXPECT_LT(bottomLine.height(), 25);
    // Bottom codes are one line either way.
    EXPECT_EQ(stamped(4, StampLines::ByAlignment), stamped(4, StampLines::SingleLine));
    EXPECT_EQ(StampTextFlags(2, StampLines::ByAlignment), StampTextFlags(2));
}

TEST(StampLayout, DrawsInTheRecordsFontOrThePaintersWhenTheFaceIsEmpty)
{
    QImage viaRecord(320, 240, QImage::Format_RGB32), viaPainter(320, 240, QImage::Format_RGB32);
    viaRecord.fill(kBackground);
    viaPainter.fill(kBackground);
    const FontRecord big{"DejaVu Sans", -40, 0, 400, false};
    {
        QPainter p(&viaRecord);
        DrawStamp(p, big, "Wg", 320, 240, 0, false, 0xFFFFFF);
    }
    {
        QPainter p(&viaPainter);
        p.setFont(MakeStampFont(big));
        DrawStamp(p, {"", -10, 0, 400, false}, "Wg", 320, 240, 0, false, 0xFFFFFF);
    }
    EXPECT_EQ(viaRecord, viaPainter);
    EXPECT_GT(inkBounds(viaRecord).height(), 30);
}

TEST(LogoFile, ReaderChosenByTheLastFourCharacters)
{
    test::TempDir dir;
    const std::string gif = test::sourceDir() + "/tests/imaging/data/logo.gif";
    std::filesystem::copy_file(gif, dir.file("LOGO.GIF"));
    std::filesystem::copy_file(gif, dir.file("logo.jpeg"));
    std::filesystem::copy_file(gif, dir.file("logo.png"));

    for (const std::string& path : {gif, dir.file("LOGO.GIF")}) {
        unsigned w = 0, h = 0;
        ColorRef transparent = 0;
        bool isGif = false;
        const RgbImage logo = ReadLogoFile(path, w, h, transparent, isGif);
        ASSERT_FALSE(logo.empty()) << path;
        EXPECT_EQ(w, 100u);
        EXPECT_EQ(h, 50u);
        EXPECT_TRUE(isGif);
        EXPECT_EQ(transparent, makeColorRef(0, 255, 0)) << path;
    }
    {
        // A bound below the logo's 5000 pixels refuses it before reading.
        unsigned w = 0, h = 0;
        ColorRef transparent = 0;
        bool isGif = false;
        EXPECT_TRUE(ReadLogoFile(gif, w, h, transparent, isGif, 4999).empty());
        EXPECT_EQ(ImgLibGetLastError(), IMGLIB_OUT_OF_MEMORY);
        EXPECT_FALSE(ReadLogoFile(gif, w, h, transparent, isGif, 5000).empty());
    }

    struct Case {
        std::string name;
        int error;
    };
    for (const Case& c : {Case{"logo.jpeg", IMGLIB_OK}, Case{"logo.png", IMGLIB_BAD_PNG},
                          Case{"missing.bmp", IMGLIB_FILE_OPEN}}) {
        unsigned w = 1, h = 1;
        ColorRef transparent = 0;
        bool isGif = true;
        EXPECT_TRUE(ReadLogoFile(dir.file(c.name), w, h, transparent, isGif).empty()) << c.name;
        EXPECT_EQ(ImgLibGetLastError(), c.error) << c.name;
        EXPECT_EQ(transparent, kNoColor);
        EXPECT_FALSE(isGif);
        EXPECT_EQ(w + h, 0u);
    }
}
