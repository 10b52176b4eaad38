#include "CodecTestData.h"

#include "imaging/codec/ImgLibQt.h"

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

// 3 × 2: red, green, blue / white, black, red
RgbImage smallPicture()
{
    RgbImage image = RgbImage::allocate(18);
    const std::uint8_t px[18] = {255, 0,   0,   0, 255, 0, 0,   0, 255,
                                 255, 255, 255, 0, 0,   0, 255, 0, 0};
    std::memcpy(image.data(), px, 18);
    return image;
}

QImage canvas()
{
    QImage target(6, 5, QImage::Format_RGB32);
    target.fill(qRgb(10, 20, 30));
    return target;
}

} // namespace

TEST(Draw, OpaqueCopyAtPositionWithExtentAndNoStretching)
{
    RgbImage image = smallPicture();
    QImage target = canvas();
    {
        QPainter dc(&target);
        // Extent 2 × 5: only two columns are copied, and the picture's two rows; no stretching.
        ASSERT_TRUE(ImgLibDrawRGB(dc, image, 3, 2, 1, 2, 2, 5));
    }
    EXPECT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(target.pixel(1, 2), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(2, 2), qRgb(0, 255, 0));
    EXPECT_EQ(target.pixel(3, 2), qRgb(10, 20, 30)); // third column outside the extent
    EXPECT_EQ(target.pixel(1, 3), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(2, 3), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(1, 4), qRgb(10, 20, 30)); // no third row to copy
    EXPECT_EQ(target.pixel(0, 2), qRgb(10, 20, 30));
}

TEST(Draw, PaletteMapsToItsNearestColours)
{
    RgbImage image = smallPicture();
    QImage target = canvas();
    const ImgLibPalette blackAndWhite = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    {
        QPainter dc(&target);
        ASSERT_TRUE(ImgLibDrawRGB(dc, image, 3, 2, 0, 0, 3, 2, &blackAndWhite));
    }
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 0)); // red is nearer black than white
    EXPECT_EQ(target.pixel(0, 1), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(1, 1), qRgb(0, 0, 0));
}

TEST(Draw, TransparentColourLeavesTheDestination)
{
    RgbImage image = smallPicture();
    QImage target = canvas();
    {
        QPainter dc(&target);
        ASSERT_TRUE(ImgLibDrawTranparentRGB(dc, image, 3, 2, 2, 1, makeColorRef(255, 0, 0)));
    }
    EXPECT_EQ(target.pixel(2, 1), qRgb(10, 20, 30)); // red: transparent
    EXPECT_EQ(target.pixel(3, 1), qRgb(0, 255, 0));
    EXPECT_EQ(target.pixel(4, 1), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(3, 2), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(4, 2), qRgb(10, 20, 30)); // red again

    // A colour that is only close is drawn; -1 draws everything.
    target = canvas();
    {
        QPainter dc(&target);
        ASSERT_TRUE(ImgLibDrawTranparentRGB(dc, image, 3, 2, 0, 0, makeColorRef(254, 0, 0)));
        ASSERT_TRUE(ImgLibDrawTranparentRGB(dc, image, 3, 2, 3, 3, kNoColor));
    }
    EXPECT_EQ(target.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(5, 4), qRgb(255, 0, 0));
}

TEST(Draw, MissingImageInactivePainterAndMismatchedSizes)
{
    RgbImage image = smallPicture();
    RgbImage none;
    QImage target = canvas();
    QPainter inactive;
    EXPECT_FALSE(ImgLibDrawRGB(inactive, image, 3, 2, 0, 0, 3, 2));
    EXPECT_EQ(ImgLibGetLastError(), 26);
    QPainter dc(&target);
    EXPECT_FALSE(ImgLibDrawRGB(dc, none, 3, 2, 0, 0, 3, 2));
    EXPECT_EQ(ImgLibGetLastError(), 5);
    EXPECT_FALSE(ImgLibDrawTranparentRGB(dc, image, 4, 2, 0, 0, kNoColor));
    EXPECT_EQ(ImgLibGetLastError(), 5);
    EXPECT_TRUE(ImgLibDrawRGB(dc, image, 3, 2, 0, 0, 3, 2));
    EXPECT_EQ(ImgLibGetLastError(), 0);
}

TEST(Draw, BitmapConversionsBothWays)
{
    QImage source(3, 2, QImage::Format_ARGB32);
    source.fill(qRgba(1, 2, 3, 255));
    source.setPixel(2, 1, qRgba(200, 100, 50, 255));
    unsigned w = 0, h = 0;
    RgbImage rgb = ImgLibHBITMAPToRGB(source, w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(w, 3u);
    EXPECT_EQ(h, 2u);
    ASSERT_EQ(rgb.size(), 18u);
    EXPECT_EQ(rgb.data()[15], 200);
    EXPECT_EQ(rgb.data()[16], 100);
    EXPECT_EQ(rgb.data()[17], 50);
    EXPECT_TRUE(ImgLibHBITMAPToRGB(QImage(), w, h).empty());
    EXPECT_EQ(ImgLibGetLastError(), 5);

    QImage fromFile = ImgLibReadHBITMAPFromBMP(codecData("samples/sample.bmp"));
    ASSERT_FALSE(fromFile.isNull());
    RgbImage direct = ImgLibReadRGBFromBMP(codecData("samples/sample.bmp"), w, h);
    RgbImage back = ImgLibHBITMAPToRGB(fromFile, w, h);
    EXPECT_EQ(bytesOf(back), bytesOf(direct));
    EXPECT_TRUE(ImgLibReadHBITMAPFromBMP(codecData("gif/treescap.gif")).isNull());
    EXPECT_EQ(ImgLibGetLastError(), 6);
}
