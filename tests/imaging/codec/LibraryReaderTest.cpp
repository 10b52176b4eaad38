#include "CodecTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace vistrel;
using namespace vistrel::test;
using namespace std::string_literals;

namespace {

std::string be32(std::uint32_t v)
{
    return {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
}

std::string pngChunk(const std::string& type, const std::string& data)
{
    const std::string body = type + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    return be32(std::uint32_t(data.size())) + body + be32(std::uint32_t(crc));
}

} // namespace

TEST(JpegReader, GreyBecomesThreeEqualBytesAndMarkersAreNoted)
{
    unsigned w = 0, h = 0;
    RgbImage image = ImgLibReadRGBFromJPG(codecData("made/grey-comment.jpg"), w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    EXPECT_EQ(w, 23u);
    EXPECT_EQ(h, 42u);
    bool someNotBlack = false;
    for (std::size_t i = 0; i < image.size(); i += 3) {
        ASSERT_EQ(image.data()[i], image.data()[i + 1]);
        ASSERT_EQ(image.data()[i], image.data()[i + 2]);
        someNotBlack |= image.data()[i] != 0;
    }
    EXPECT_TRUE(someNotBlack);
    const ImgLibThreadRecord& record = ImgLibThreadState();
    ASSERT_EQ(record.jpegComments.size(), 1u);
    EXPECT_EQ(record.jpegComments[0], "Vistrel test comment");
    EXPECT_EQ(record.readDensityUnit, 1);
    EXPECT_EQ(record.readXDensity, 300);
    EXPECT_EQ(record.readYDensity, 150);
}

TEST(JpegReader, BadAndHugeFiles)
{
    const std::string good = readFile(codecData("samples/sample.jpg"));
    ASSERT_FALSE(good.empty());
    std::string huge = good;
    const std::size_t sof = huge.find("\xFF\xC2"s); // progressive frame header
    ASSERT_NE(sof, std::string::npos);
    huge.replace(sof + 5, 4, "\xFD\xE8\xFD\xE8"s); // 65000 × 65000
    struct Case {
        const char* what;
        std::string bytes;
        int code;
    };
    const Case cases[] = {
        {"empty", "", 9},
        {"garbage", std::string(500, '\x33'), 9},
        {"a PNG", readFile(codecData("samples/sample.png")), 9},
        {"header only", good.substr(0, 20), 9},
        {"huge", huge, 1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir.file("p.jpg"), c.bytes);
        unsigned w = 1, h = 1;
        EXPECT_TRUE(ImgLibReadRGBFromJPG(dir.file("p.jpg"), w, h).empty());
        EXPECT_EQ(ImgLibGetLastError(), c.code);
        EXPECT_EQ(w, 0u);
    }
}

TEST(PngReader, EveryCorruptSuiteFileGivesCodeFifteen)
{
    const auto files = listFiles(codecData("png"), ".png");
    int corrupt = 0;
    for (const std::string& name : files) {
        if (name[0] != 'x')
            continue;
        SCOPED_TRACE(name);
        ++corrupt;
        unsigned w = 1, h = 1;
        EXPECT_TRUE(ImgLibReadRGBFromPNG(codecData("png/" + name), w, h).empty());
        EXPECT_EQ(ImgLibGetLastError(), 15);
        EXPECT_EQ(w, 0u);
    }
    EXPECT_EQ(corrupt, 14);
}

TEST(PngReader, AlphaIsDroppedKeepingTheStoredColours)
{
    // basn6a08: RGBA; its colour channels must come through unblended.
    unsigned w = 0, h = 0;
    RgbImage withAlpha = ImgLibReadRGBFromPNG(codecData("png/basn6a08.png"), w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    RefImage ref;
    ASSERT_TRUE(loadRef(codecData("ref/png/basn6a08.png.rgb.gz"), ref));
    EXPECT_EQ(bytesOf(withAlpha), ref.pixels);
}

TEST(PngReader, HugeAnnouncedPictureFailsBeforeAllocating)
{
    std::string ihdr = be32(60000) + be32(60000) + "\x08\x02\x00\x00\x00"s;
    const std::string png =
        "\x89PNG\r\n\x1A\n"s + pngChunk("IHDR", ihdr) + pngChunk("IDAT", "") + pngChunk("IEND", "");
    TempDir dir;
    writeFile(dir.file("huge.png"), png);
    unsigned w = 1, h = 1;
    const long before = residentKiB();
    EXPECT_TRUE(ImgLibReadRGBFromPNG(dir.file("huge.png"), w, h).empty());
    EXPECT_EQ(ImgLibGetLastError(), 1);
    EXPECT_LT(residentKiB() - before, 100 * 1024);
}

TEST(TiffReader, CodesForLzwBadAndGoodFiles)
{
    unsigned w = 0, h = 0;
    EXPECT_TRUE(ImgLibReadRGBFromTIF(codecData("made/lzw.tif"), w, h).empty());
    EXPECT_EQ(ImgLibGetLastError(), 21);
    EXPECT_EQ(ImageLibraryErrorText(21), "Image Error (21): TIFF-LZW images are not supported");

    // Deflate is fine and gives the same picture as the uncompressed sample.
    RgbImage deflate = ImgLibReadRGBFromTIF(codecData("made/deflate.tif"), w, h);
    ASSERT_EQ(ImgLibGetLastError(), 0);
    RgbImage plain = ImgLibReadRGBFromTIF(codecData("samples/sample.tif"), w, h);
    EXPECT_EQ(bytesOf(deflate), bytesOf(plain));

    TempDir dir;
    writeFile(dir.file("garbage.tif"), std::string(400, '\x21'));
    EXPECT_TRUE(ImgLibReadRGBFromTIF(dir.file("garbage.tif"), w, h).empty());
    EXPECT_EQ(ImgLibGetLastError(), 20);

    // A valid header whose first directory points past the end of the file.
    writeFile(dir.file("nodir.tif"), "II*\x00\x00\x10\x00\x00"s);
    EXPECT_TRUE(ImgLibReadRGBFromTIF(dir.file("nodir.tif"), w, h).empty());
    EXPECT_EQ(ImgLibGetLastError(), 20);

    // Cut in the middle of the strips: libtiff itself fails the read.
    const std::string sample = readFile(codecData("made/deflate.tif"));
    writeFile(dir.file("cut.tif"), sample.substr(0, sample.size() / 2));
    ImgLibReadRGBFromTIF(dir.file("cut.tif"), w, h);
    EXPECT_NE(ImgLibGetLastError(), 0);
}
