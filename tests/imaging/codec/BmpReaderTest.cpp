#include "CodecTestData.h"
#include "TestSupport.h"

#include "imaging/codec/CodecInternal.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <map>

using namespace vistrel;
using namespace vistrel::test;
using namespace std::string_literals;

namespace {

void put16(std::string& s, std::size_t at, unsigned v)
{
    s[at] = char(v & 0xFF);
    s[at + 1] = char((v >> 8) & 0xFF);
}
void put32(std::string& s, std::size_t at, std::uint32_t v)
{
    put16(s, at, v & 0xFFFF);
    put16(s, at + 2, v >> 16);
}

// A bitmap file with a 40-byte header; `pixels` are the stored rows, padding included.
std::string makeBmp(std::int32_t width, std::int32_t height, int bitCount,
                    const std::string& pixels, std::uint32_t compression = 0,
                    const std::string& palette = {})
{
    std::string s(54, '\0');
    s[0] = 'B';
    s[1] = 'M';
    put32(s, 2, std::uint32_t(54 + palette.size() + pixels.size()));
    put32(s, 10, std::uint32_t(54 + palette.size()));
    put32(s, 14, 40);
    put32(s, 18, std::uint32_t(width));
    put32(s, 22, std::uint32_t(height));
    put16(s, 26, 1);
    put16(s, 28, unsigned(bitCount));
    put32(s, 30, compression);
    put32(s, 46, std::uint32_t(palette.size() / 4));
    return s + palette + pixels;
}

RgbImage readBmpBytes(const std::string& bytes, unsigned& w, unsigned& h)
{
    TempDir dir;
    writeFile(dir.file("p.bmp"), bytes);
    return ImgLibReadRGBFromBMP(dir.file("p.bmp"), w, h);
}

std::string readBmpFile(const std::string& rel)
{
    unsigned w = 0, h = 0;
    return bytesOf(ImgLibReadRGBFromBMP(codecData(rel), w, h));
}

} // namespace

TEST(BmpReader, ThreeByTwoTwentyFourBitReadsTopRowFirstAsRgb)
{
    // Stored bottom row first, blue-green-red, each 9-byte row padded to 12.
    const std::string bottom = std::string("\x03\x02\x01\x06\x05\x04\x09\x08\x07", 9) + "\0\0\0"s;
    const std::string top = std::string("\x13\x12\x11\x16\x15\x14\x19\x18\x17", 9) + "\0\0\0"s;
    unsigned w = 0, h = 0;
    RgbImage image = readBmpBytes(makeBmp(3, 2, 24, bottom + top), w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(w, 3u);
    EXPECT_EQ(h, 2u);
    ASSERT_EQ(image.size(), 18u);
    EXPECT_EQ(bytesOf(image), std::string("\x11\x12\x13\x14\x15\x16\x17\x18\x19"
                                          "\x01\x02\x03\x04\x05\x06\x07\x08\x09",
                                          18));

    // The same picture stored top-down (negative height) reads identically.
    RgbImage topDown = readBmpBytes(makeBmp(3, -2, 24, top + bottom), w, h);
    EXPECT_EQ(h, 2u);
    EXPECT_EQ(bytesOf(topDown), bytesOf(image));
}

TEST(BmpReader, SixteenAndThirtyTwoBitConversion)
{
    // 16 bits, 5-5-5 with blue lowest; every 5-bit value v becomes v * 8 + 7.
    const std::uint16_t pixel = (31 << 10) | (1 << 5) | 0; // red 31, green 1, blue 0
    std::string row16 = {char(pixel & 0xFF), char(pixel >> 8), 0, 0};
    unsigned w = 0, h = 0;
    EXPECT_EQ(bytesOf(readBmpBytes(makeBmp(1, 1, 16, row16), w, h)), "\xFF\x0F\x07");

    // 32 bits: blue, green, red, ignored.
    EXPECT_EQ(bytesOf(readBmpBytes(makeBmp(1, 1, 32, "\x01\x02\x03\xEE"), w, h)), "\x03\x02\x01");
}

TEST(BmpReader, TopDownAndRunLengthFilesMatchTheirPlainForms)
{
    const std::string pal8 = readBmpFile("bmp/g/pal8.bmp");
    ASSERT_FALSE(pal8.empty());
    EXPECT_EQ(readBmpFile("bmp/g/pal8topdown.bmp"), pal8);
    EXPECT_EQ(readBmpFile("bmp/g/pal8rle.bmp"), pal8);
    EXPECT_EQ(readBmpFile("bmp/g/pal8v4.bmp"), pal8);
    EXPECT_EQ(readBmpFile("bmp/g/pal8v5.bmp"), pal8);
    const std::string pal4 = readBmpFile("bmp/g/pal4.bmp");
    ASSERT_FALSE(pal4.empty());
    EXPECT_EQ(readBmpFile("bmp/g/pal4rle.bmp"), pal4);
}

TEST(BmpReader, BitFieldsAreRefusedWithBadBmpText)
{
    unsigned w = 7, h = 7;
    RgbImage image = ImgLibReadRGBFromBMP(codecData("bmp/g/rgb16-565.bmp"), w, h);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(ImgLibGetLastError(), 6);
    EXPECT_EQ(ImageLibraryErrorText(ImgLibGetLastError()), "Image Error (6): Bad BMP file");
}

TEST(BmpReader, HeaderAndDataErrors)
{
    unsigned w = 0, h = 0;
    const std::string good = makeBmp(2, 2, 24, std::string(16, '\x40'));
    struct Case {
        const char* what;
        std::string bytes;
        int code;
    };
    std::string notBm = good;
    notBm[0] = 'X';
    std::string os2 = good;
    put32(os2, 14, 12);
    const Case cases[] = {
        {"empty file", "", 3},
        {"short file header", "BM\x10", 3},
        {"not BM", notBm, 6},
        {"short information header", good.substr(0, 30), 3},
        {"12-byte header", os2, 6},
        {"zero width", makeBmp(0, 2, 24, std::string(16, 0)), 6},
        {"negative width", makeBmp(-2, 2, 24, std::string(16, 0)), 6},
        {"zero height", makeBmp(2, 0, 24, ""), 6},
        {"rows missing", good.substr(0, good.size() - 1), 3},
        {"offset past the end",
         [&] {
             std::string s = good;
             put32(s, 10, 100000);
             return s;
         }(),
         3},
        {"RLE with 24 bits", makeBmp(2, 2, 24, std::string(16, 0), 1), 6},
        {"RLE8 top-down", makeBmp(2, -2, 8, std::string("\0\1", 2), 1, std::string(8, 0)), 6},
        {"bit count 2", makeBmp(2, 2, 2, std::string(8, 0)), 6},
        {"huge announced picture", makeBmp(100000, 100000, 24, std::string(16, 0)), 1},
        {"huge RLE picture", makeBmp(60000, 60000, 8, std::string("\0\1", 2), 1), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int expected = c.code;
        RgbImage image = readBmpBytes(c.bytes, w, h);
        EXPECT_TRUE(image.empty());
        EXPECT_EQ(ImgLibGetLastError(), expected);
        EXPECT_EQ(w, 0u);
    }
}

TEST(BmpReader, RunLengthCodingEdgeCases)
{
    std::string palette;
    for (int i = 0; i < 4; ++i)
        palette += std::string{char(i * 10), char(i * 20), char(i * 30), 0}; // blue, green, red
    unsigned w = 0, h = 0;
    // 4 × 2: a run longer than the row is clipped; a delta skips one pixel right and one row up;
    // an absolute run of 3 (padded to 4 bytes) fills the rest; no end-of-bitmap marker.
    const std::string rle8 = std::string("\x09\x01", 2)                // row 0: 1 1 1 1 (overlong)
                             + std::string("\0\0", 2)                  // end of line
                             + std::string("\0\x03\x02\x03\x01\0", 6); // row 1: 2 3 1 _
    RgbImage image = readBmpBytes(makeBmp(4, 2, 8, rle8, 1, palette), w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    const std::string c1 = "\x1E\x14\x0A", c2 = "\x3C\x28\x14", c3 = "\x5A\x3C\x1E";
    const std::string black(3, '\0');
    EXPECT_EQ(bytesOf(image), c2 + c3 + c1 + black + c1 + c1 + c1 + c1);

    // RLE4: a run of 3 alternating nibbles 1,2,1, a delta one row up, one pixel, the end.
    const std::string rle4 = std::string("\x03\x12", 2) + std::string("\0\x02\x00\x01", 4) +
                             std::string("\x01\x30\0\x01", 4);
    image = readBmpBytes(makeBmp(4, 2, 4, rle4, 2, palette), w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(bytesOf(image), black + black + black + c3 + c1 + c2 + c1 + black);
}

TEST(BmpReader, BadSuiteFilesFailOrDecodeSafely)
{
    // Outcome for each of the BMP Suite's bad files: an error code, or 0 where the damage is in
    // a field this reader does not rely on.
    const std::map<std::string, int> expected = {
        {"badbitcount.bmp", 6},    {"badbitssize.bmp", 0}, {"baddens1.bmp", 0},
        {"baddens2.bmp", 0},       {"badfilesize.bmp", 0}, {"badheadersize.bmp", 0},
        {"badpalettesize.bmp", 0}, {"badplanes.bmp", 0},   {"badrle.bmp", 0},
        {"badrle4.bmp", 0},        {"badrle4bis.bmp", 0},  {"badrle4ter.bmp", 0},
        {"badrlebis.bmp", 0},      {"badrleter.bmp", 0},   {"badwidth.bmp", 6},
        {"pal8badindex.bmp", 0},   {"reallybig.bmp", 1},   {"rgb16-880.bmp", 6},
        {"rletopdown.bmp", 6},     {"shortfile.bmp", 3},
    };
    const auto files = listFiles(codecData("bmp/b"), ".bmp");
    ASSERT_EQ(files.size(), expected.size());
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        unsigned w = 0, h = 0;
        RgbImage image = ImgLibReadRGBFromBMP(codecData("bmp/b/" + name), w, h);
        ASSERT_TRUE(expected.count(name));
        EXPECT_EQ(ImgLibGetLastError(), expected.at(name));
        EXPECT_EQ(image.empty(), expected.at(name) != 0);
        EXPECT_EQ(image.size(), std::size_t(w) * h * 3);
    }
}

TEST(BmpReader, GetBmpSizeReadsOnlyTheHeaders)
{
    unsigned w = 0, h = 0;
    EXPECT_TRUE(ImgLibGetBMPSize(codecData("bmp/g/pal8topdown.bmp"), w, h));
    EXPECT_EQ(w, 127u);
    EXPECT_EQ(h, 64u);
    EXPECT_EQ(ImgLibGetLastError(), 0);
    // The rows may be missing: only the headers count.
    EXPECT_TRUE(ImgLibGetBMPSize(codecData("bmp/b/shortfile.bmp"), w, h));
    EXPECT_FALSE(ImgLibGetBMPSize(codecData("gif/treescap.gif"), w, h));
    EXPECT_EQ(ImgLibGetLastError(), 6);
    EXPECT_FALSE(ImgLibGetBMPSize(codecData("nothing-here.bmp"), w, h));
    EXPECT_EQ(ImgLibGetLastError(), 2);
    EXPECT_EQ(w, 0u);
}

TEST(Readers, EmptyPathMissingFileFolderOrFifoGiveCodeTwo)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO would block an open for reading until a writer came; it is refused like a folder.
    for (const std::string& path : {std::string(), codecData("missing"), codecData(""), fifo}) {
        SCOPED_TRACE("'" + path + "'");
        unsigned w = 5, h = 5;
        ColorRef transparent = 0;
        auto check = [&](RgbImage image) {
            EXPECT_TRUE(image.empty());
            EXPECT_EQ(ImgLibGetLastError(), 2);
            EXPECT_EQ(w, 0u);
            EXPECT_EQ(h, 0u);
            w = h = 5;
        };
        check(ImgLibReadRGBFromBMP(path, w, h));
        check(ImgLibReadRGBFromGIF(path, w, h, transparent));
        EXPECT_EQ(transparent, kNoColor);
        check(ImgLibReadRGBFromPCX(path, w, h));
        check(ImgLibReadRGBFromPNG(path, w, h));
        check(ImgLibReadRGBFromJPG(path, w, h));
        check(ImgLibReadRGBFromTIF(path, w, h));
    }
}
