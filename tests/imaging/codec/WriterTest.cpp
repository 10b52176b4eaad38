#include "CodecTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace vistrel;
using namespace vistrel::test;
using namespace std::string_literals;

namespace {

// A smooth test picture with some detail, odd width to exercise row padding.
RgbImage testPicture(unsigned w, unsigned h)
{
    RgbImage image = RgbImage::allocate(std::size_t(w) * h * 3);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            std::uint8_t* p = image.data() + (std::size_t(y) * w + x) * 3;
            p[0] = std::uint8_t(x * 255 / w);
            p[1] = std::uint8_t(y * 255 / h);
            p[2] = std::uint8_t(((x / 8 + y / 8) & 1) ? 200 : 40);
        }
    return image;
}

// Runs a shell command; its standard output goes to `out`.
bool run(const std::string& command, std::string& out)
{
    TempDir dir;
    const int rc = std::system((command + " > " + dir.file("out") + " 2>/dev/null").c_str());
    out = readFile(dir.file("out"));
    return rc == 0;
}

// The pixels of a binary PPM (P6) or PGM (P5) from djpeg, as RGB.
bool parsePnm(const std::string& pnm, unsigned& w, unsigned& h, std::string& rgb)
{
    char magic[3] = {};
    unsigned maxval = 0;
    int consumed = 0;
    if (std::sscanf(pnm.c_str(), "%2s %u %u %u%n", magic, &w, &h, &maxval, &consumed) != 4)
        return false;
    const std::string data = pnm.substr(std::size_t(consumed) + 1);
    if (std::strcmp(magic, "P6") == 0) {
        rgb = data;
    } else if (std::strcmp(magic, "P5") == 0) {
        rgb.clear();
        for (char c : data)
            rgb += std::string(3, c);
    } else {
        return false;
    }
    return rgb.size() == std::size_t(w) * h * 3;
}

double meanDifference(const std::string& a, const RgbImage& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(std::uint8_t(a[i])) - int(b.data()[i]));
    return sum / double(a.size());
}

} // namespace

TEST(JpegWriter, RoundTripsReadBackByDjpegAndByOurReader)
{
    const unsigned w = 61, h = 37;
    RgbImage source = testPicture(w, h);
    TempDir dir;
    struct Case {
        const char* name;
        int color;
        int progressive;
    };
    for (const Case& c : {Case{"baseline-colour", 1, 0}, Case{"progressive-colour", 1, 1},
                          Case{"baseline-grey", 0, 0}, Case{"progressive-grey", 0, 1}}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".jpg");
        ASSERT_TRUE(ImgLibSaveRGBToJPG(path, source, w, h, 90, c.color, c.progressive));
        EXPECT_EQ(ImgLibGetLastError(), 0);
        const std::string file = readFile(path);
        // Frame type: SOF0 baseline or SOF2 progressive; one component when grey.
        const std::size_t sof = file.find(c.progressive ? "\xFF\xC2"s : "\xFF\xC0"s);
        ASSERT_NE(sof, std::string::npos);
        EXPECT_EQ(file.find(c.progressive ? "\xFF\xC0"s : "\xFF\xC2"s), std::string::npos);
        EXPECT_EQ(int(file[sof + 9]), c.color ? 3 : 1);
        // JFIF density: unit 0, 1 × 1.
        ASSERT_EQ(file.substr(6, 5), "JFIF\0"s);
        EXPECT_EQ(file.substr(13, 5), "\x00\x00\x01\x00\x01"s);

        unsigned rw = 0, rh = 0;
        RgbImage ours = ImgLibReadRGBFromJPG(path, rw, rh);
        ASSERT_EQ(ImgLibGetLastError(), 0);
        ASSERT_EQ(rw, w);
        ASSERT_EQ(rh, h);
        std::string pnm, djpeg;
        unsigned dw = 0, dh = 0;
        ASSERT_TRUE(run("djpeg '" + path + "'", pnm)) << "djpeg (libjpeg-turbo-progs) missing?";
        ASSERT_TRUE(parsePnm(pnm, dw, dh, djpeg));
        EXPECT_EQ(dw, w);
        EXPECT_EQ(bytesOf(ours), djpeg);
        if (c.color) {
            EXPECT_LT(meanDifference(djpeg, source), 10.0); // a broken encoder is far off
        }
    }
}

TEST(JpegWriter, QualityZeroGivesTheSameFileAsOne)
{
    RgbImage source = testPicture(40, 30);
    TempDir dir;
    ASSERT_TRUE(ImgLibSaveRGBToJPG(dir.file("q0.jpg"), source, 40, 30, 0, 1, 0));
    ASSERT_TRUE(ImgLibSaveRGBToJPG(dir.file("q1.jpg"), source, 40, 30, 1, 1, 0));
    ASSERT_TRUE(ImgLibSaveRGBToJPG(dir.file("q75.jpg"), source, 40, 30, 75, 1, 0));
    EXPECT_EQ(readFile(dir.file("q0.jpg")), readFile(dir.file("q1.jpg")));
    EXPECT_NE(readFile(dir.file("q75.jpg")), readFile(dir.file("q1.jpg")));
}

TEST(Writers, BadParametersOpenAndWriteFailures)
{
    RgbImage source = testPicture(4, 4);
    RgbImage none;
    TempDir dir;
    const std::string ok = dir.file("x");
    const std::string noDir = dir.file("no/such/dir/x");
    const int fdsBefore = openFdCount();

    EXPECT_FALSE(ImgLibSaveRGBToJPG(ok, none, 4, 4, 75, 1, 0));
    EXPECT_EQ(ImgLibGetLastError(), 5);
    EXPECT_FALSE(ImgLibSaveRGBToJPG(ok, source, 0, 4, 75, 1, 0));
    EXPECT_EQ(ImgLibGetLastError(), 5);
    EXPECT_FALSE(ImgLibSaveRGBToJPG(ok, source, 5, 4, 75, 1, 0)); // buffer too small for 5 × 4
    EXPECT_EQ(ImgLibGetLastError(), 5);
    EXPECT_FALSE(ImgLibSaveRGBToPNG(ok, source, 4, 0));
    EXPECT_EQ(ImgLibGetLastError(), 5);
    EXPECT_FALSE(ImgLibSaveRGBToBMP(ok, none, 4, 4));
    EXPECT_EQ(ImgLibGetLastError(), 5);

    EXPECT_FALSE(ImgLibSaveRGBToJPG(noDir, source, 4, 4, 75, 1, 0));
    EXPECT_EQ(ImgLibGetLastError(), 2);
    EXPECT_FALSE(ImgLibSaveRGBToPNG(noDir, source, 4, 4));
    EXPECT_EQ(ImgLibGetLastError(), 2);
    EXPECT_FALSE(ImgLibSaveRGBToBMP("", source, 4, 4));
    EXPECT_EQ(ImgLibGetLastError(), 2);

    // A device that is always full: libjpeg's write error gives 9, and nothing stays open.
    if (fileExists("/dev/full")) {
        RgbImage big = testPicture(300, 300);
        EXPECT_FALSE(ImgLibSaveRGBToJPG("/dev/full", big, 300, 300, 75, 1, 0));
        EXPECT_EQ(ImgLibGetLastError(), 9);
        EXPECT_FALSE(ImgLibSaveRGBToPNG("/dev/full", big, 300, 300));
        EXPECT_EQ(ImgLibGetLastError(), 16);
        EXPECT_FALSE(ImgLibSaveRGBToBMP("/dev/full", big, 300, 300));
        EXPECT_EQ(ImgLibGetLastError(), 4);
    }
    EXPECT_EQ(openFdCount(), fdsBefore);
}

TEST(Writers, PngAndBmpRoundTripExactlyThroughPilAndOurReaders)
{
    const unsigned w = 13, h = 7; // 39-byte rows: BMP pads them to 40
    RgbImage source = testPicture(w, h);
    TempDir dir;
    ASSERT_TRUE(ImgLibSaveRGBToPNG(dir.file("p.png"), source, w, h, 0, 0));
    ASSERT_TRUE(ImgLibSaveRGBToBMP(dir.file("p.bmp"), source, w, h));

    const std::string png = readFile(dir.file("p.png"));
    EXPECT_EQ(png.substr(24, 2), "\x08\x02"s); // 8 bits, truecolour
    const std::string bmp = readFile(dir.file("p.bmp"));
    EXPECT_EQ(bmp.size(), 54u + 40u * h);
    EXPECT_EQ(bmp.substr(28, 2), "\x18\x00"s);     // 24 bits
    EXPECT_EQ(bmp.substr(54, 3), "\x28\xDA\x00"s); // bottom row first, blue first
    EXPECT_EQ(bmp.substr(54 + 39, 1), "\0"s);      // padding

    unsigned rw = 0, rh = 0;
    EXPECT_EQ(bytesOf(ImgLibReadRGBFromPNG(dir.file("p.png"), rw, rh)), bytesOf(source));
    EXPECT_EQ(bytesOf(ImgLibReadRGBFromBMP(dir.file("p.bmp"), rw, rh)), bytesOf(source));

    const std::string python = pythonWithPil();
    if (python.empty())
        GTEST_SKIP() << "python3-pil is not installed";
    for (const char* name : {"p.png", "p.bmp"}) {
        SCOPED_TRACE(name);
        std::string pil;
        ASSERT_TRUE(run(python +
                            " -c \"import sys; from PIL import Image; "
                            "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB')"
                            ".tobytes())\" '" +
                            dir.file(name) + "'",
                        pil));
        EXPECT_EQ(pil, bytesOf(source));
    }
}
