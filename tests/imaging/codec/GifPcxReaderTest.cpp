#include "CodecTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;
using namespace std::string_literals;

namespace {

// A 4 × 2 screen (background entry 0 of the global table) with one 2 × 1 image at (2, 1) that
// has its own table and a graphic control extension naming index 2 as transparent.
std::string placedGif(bool withTransparency)
{
    std::string s = "GIF89a"s + "\x04\x00\x02\x00"s + "\x81\x00\x00"s;
    s += "\x0A\x0A\x0A\x01\x01\x01\x02\x02\x02\x03\x03\x03"s; // global table
    if (withTransparency)
        s += "\x21\xF9\x04\x01\x00\x00\x02\x00"s;
    s += "\x2C\x02\x00\x01\x00\x02\x00\x01\x00\x81"s;         // descriptor, local table follows
    s += "\x00\x00\x00\x11\x22\x33\x44\x55\x66\x77\x77\x77"s; // local table
    s += "\x02\x02\x8C\x0A\x00"s;                             // LZW: clear 1 2 end-of-information
    return s + "\x3B";
}

RgbImage readGifBytes(const std::string& bytes, unsigned& w, unsigned& h, ColorRef& transparent)
{
    TempDir dir;
    writeFile(dir.file("p.gif"), bytes);
    return ImgLibReadRGBFromGIF(dir.file("p.gif"), w, h, transparent);
}

std::string pcxHeader(unsigned width, unsigned height, int bpp, int planes, unsigned bytesPerLine)
{
    std::string s(128, '\0');
    s[0] = 0x0A;
    s[1] = 5;
    s[2] = 1;
    s[3] = char(bpp);
    s[8] = char((width - 1) & 0xFF);
    s[9] = char((width - 1) >> 8);
    s[10] = char((height - 1) & 0xFF);
    s[11] = char((height - 1) >> 8);
    s[65] = char(planes);
    s[66] = char(bytesPerLine & 0xFF);
    s[67] = char(bytesPerLine >> 8);
    return s;
}

RgbImage readPcxBytes(const std::string& bytes, unsigned& w, unsigned& h)
{
    TempDir dir;
    writeFile(dir.file("p.pcx"), bytes);
    return ImgLibReadRGBFromPCX(dir.file("p.pcx"), w, h);
}

} // namespace

TEST(GifReader, FirstImageIsPlacedOnTheScreenWithItsOwnTable)
{
    unsigned w = 0, h = 0;
    ColorRef transparent = 0;
    RgbImage image = readGifBytes(placedGif(true), w, h, transparent);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 2u);
    const std::string bg = "\x0A\x0A\x0A";
    EXPECT_EQ(bytesOf(image), bg + bg + bg + bg + bg + bg + "\x11\x22\x33\x44\x55\x66");
    // The transparent index names entry 2 of the table the image uses, as 0x00BBGGRR.
    EXPECT_EQ(transparent, 0x00665544);

    readGifBytes(placedGif(false), w, h, transparent);
    EXPECT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(transparent, -1);
}

TEST(GifReader, TransparentColourOfRealFiles)
{
    unsigned w = 0, h = 0;
    ColorRef transparent = 0;
    EXPECT_FALSE(ImgLibReadRGBFromGIF(codecData("gif/x-trans.gif"), w, h, transparent).empty());
    EXPECT_EQ(transparent, 0x00FFFFFF); // index 0, white
    EXPECT_FALSE(ImgLibReadRGBFromGIF(codecData("gif/treescap.gif"), w, h, transparent).empty());
    EXPECT_EQ(transparent, kNoColor);
}

TEST(GifReader, InterlacedFileReadsLikeItsPlainTwin)
{
    unsigned w = 0, h = 0;
    ColorRef t;
    const std::string plain = bytesOf(ImgLibReadRGBFromGIF(codecData("gif/treescap.gif"), w, h, t));
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(bytesOf(ImgLibReadRGBFromGIF(codecData("gif/treescap-interlaced.gif"), w, h, t)),
              plain);
}

TEST(GifReader, BadFilesGiveCodeEight)
{
    const std::string good = placedGif(true);
    const std::string real = readFile(codecData("gif/porsche.gif"));
    ASSERT_FALSE(real.empty());
    std::string badCode = good;
    badCode.replace(badCode.size() - 5, 4, "\x01\x3C\x00"s); // clear, then undefined code 7
    std::string zeroSize = good;
    zeroSize[good.find('\x2C') + 5] = 0; // image width 0
    std::string codeSize = good;
    codeSize[good.size() - 6] = 12; // LZW minimum code size above 8
    struct Case {
        const char* what;
        std::string bytes;
        int code;
    };
    const Case cases[] = {
        {"empty", "", 8},
        {"not a GIF", "GIF88a" + good.substr(6), 8},
        {"garbage", std::string(300, '\x5A'), 8},
        {"header only", good.substr(0, 13), 8},
        {"trailer before any image", good.substr(0, 25) + "\x3B", 8},
        {"undefined LZW code", badCode, 8},
        {"zero-sized image", zeroSize, 8},
        {"code size 12", codeSize, 8},
        {"truncated inside the picture", real.substr(0, real.size() / 2), 8},
        {"huge screen", "GIF89a\xFF\xFF\xFF\xFF"s + good.substr(10), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unsigned w = 1, h = 1;
        ColorRef transparent = 0;
        EXPECT_TRUE(readGifBytes(c.bytes, w, h, transparent).empty());
        EXPECT_EQ(ImgLibGetLastError(), c.code);
        EXPECT_EQ(w, 0u);
        EXPECT_EQ(transparent, kNoColor);
    }
}

TEST(PcxReader, RunsCrossLineEndsAndEightBitsWithoutPaletteIsGrey)
{
    // 3 × 2, 8 bits, odd BytesPerLine 3: one run of six covers both lines; no palette at the end.
    unsigned w = 0, h = 0;
    RgbImage image = readPcxBytes(pcxHeader(3, 2, 8, 1, 3) + "\xC5\x07\x40"s, w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(w, 3u);
    EXPECT_EQ(h, 2u);
    EXPECT_EQ(bytesOf(image), std::string(15, '\x07') + "\x40\x40\x40");
}

TEST(PcxReader, PlanesAndPalettes)
{
    unsigned w = 0, h = 0;
    // 2 × 1, 1 bit in 2 planes: indices 0b01 and 0b10 from the header table.
    std::string header = pcxHeader(2, 1, 1, 2, 2);
    header.replace(16, 9, "\x10\x11\x12\x20\x21\x22\x30\x31\x32");
    RgbImage image = readPcxBytes(header + "\x80\x00\x40\x00"s, w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(bytesOf(image), "\x20\x21\x22\x30\x31\x32");

    // 8 bits with the 256-entry table at the end.
    std::string palette = "\x0C"s + std::string(768, '\0');
    palette.replace(1 + 5 * 3, 3, "\xAA\xBB\xCC");
    image = readPcxBytes(pcxHeader(1, 1, 8, 1, 2) + "\x05\x00"s + palette, w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(bytesOf(image), "\xAA\xBB\xCC");

    // 24 bits as three planes, one byte each plus padding.
    image = readPcxBytes(pcxHeader(1, 1, 8, 3, 2) + "\x01\x00\x02\x00\x03\x00"s, w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(bytesOf(image), "\x01\x02\x03");
}

TEST(PcxReader, MalformedFilesGiveCodeTwentyTwo)
{
    const std::string good = pcxHeader(3, 2, 8, 1, 3) + "\xC6\x07"s;
    std::string notPcx = good;
    notPcx[0] = 0x0B;
    std::string badEncoding = good;
    badEncoding[2] = 2;
    std::string inverted = good;
    inverted[4] = 9; // xmin above xmax
    const std::string cases[] = {
        "",
        good.substr(0, 100),
        notPcx,
        badEncoding,
        inverted,
        pcxHeader(3, 2, 8, 1, 2) + "\xC6\x07"s, // lines shorter than the width
        pcxHeader(3, 2, 8, 2, 3) + "\xCC\x07"s, // 8 bits in two planes
        pcxHeader(3, 2, 1, 8, 1) + "\xC6\x07"s, // 1 bit in eight planes
        pcxHeader(3, 2, 8, 1, 3) + "\xC5\x07"s, // one byte short
        pcxHeader(60000, 60000, 8, 3, 60000) + std::string(100, '\xFF'), // huge, no data
    };
    int n = 0;
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(n++);
        unsigned w = 1, h = 1;
        EXPECT_TRUE(readPcxBytes(bytes, w, h).empty());
        EXPECT_EQ(ImgLibGetLastError(), 22);
        EXPECT_EQ(w, 0u);
    }
}
