// Every picture with a reference decoding made by another decoder is read by our reader and
// compared byte for byte. Known differences are listed with their reason; a listed file must
// still decode, and must really differ (so the list stays true).

#include "CodecTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

using namespace vistrel;
using namespace vistrel::test;

namespace {

// file (relative to data/) -> why our pixels differ from the reference decoder's
// ("fails:" = our reader refuses the file on purpose).
const std::map<std::string, std::string> kKnownDifferences = {
    {"bmp/g/pal4rle.bmp", "PIL 9.4 misreads RLE4; ours equals g/pal4.bmp (tested below)"},
    {"bmp/q/pal4rlecut.bmp", "pixels the cut-off RLE data never reaches stay black; PIL paints "
                             "them with palette entry 0"},
    {"bmp/q/pal8rlecut.bmp", "as pal4rlecut"},
    {"bmp/q/pal4rletrns.bmp", "pixels skipped by RLE deltas and line ends stay black; PIL "
                              "paints them with palette entry 0"},
    {"bmp/q/pal8rletrns.bmp", "as pal4rletrns"},
    {"bmp/g/rgb16.bmp", "5-bit samples widen to v*8+7 (low bits set); PIL uses (v<<3)|(v>>2)"},
    {"bmp/q/rgb16faketrns.bmp", "as rgb16"},
    {"bmp/g/pal8os2.bmp", "fails: 12-byte OS/2 header (only 40-byte and longer ones are read)"},
    {"bmp/q/pal8os2-hs.bmp", "fails: 12-byte OS/2 header"},
    {"bmp/q/pal8os2-sz.bmp", "fails: 12-byte OS/2 header"},
    {"bmp/q/pal8os2sp.bmp", "fails: 12-byte OS/2 header"},
    {"bmp/g/rgb16-565.bmp", "fails: compression 3 (bit fields) is refused with code 6"},
    {"bmp/g/rgb16-565pal.bmp", "fails: compression 3"},
    {"bmp/g/rgb16bfdef.bmp", "fails: compression 3"},
    {"bmp/g/rgb32bfdef.bmp", "fails: compression 3"},
    {"bmp/q/rgb32-xbgr.bmp", "fails: compression 3"},
    {"bmp/q/rgba16-5551.bmp", "fails: compression 3"},
    {"bmp/q/rgba32-1.bmp", "fails: compression 3"},
    {"png/xcsn0g01.png", "fails: corrupt on purpose (IDAT CRC); libpng refuses it, PIL does not "
                         "check"},
    {"gif/fire.gif", "animation: we read the first image; gif2rgb paints all 33 frames"},
    {"gif/welcome2.gif", "animation: we read the first image; gif2rgb paints all 6 frames"},
};

std::string differingBytes(const RgbImage& image, const RefImage& ref)
{
    const std::string ours = bytesOf(image);
    if (ours.size() != ref.pixels.size())
        return "all";
    int count = 0, maxDelta = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const int delta = std::abs(int(std::uint8_t(ours[i])) - int(std::uint8_t(ref.pixels[i])));
        count += delta != 0;
        maxDelta = std::max(maxDelta, delta);
    }
    return std::to_string(count) + " (max delta " + std::to_string(maxDelta) + ")";
}

// Compares every reference in ref/<refFolder> with the picture of that name in one of the
// data folders.
void compareFolder(const std::string& refFolder, const std::vector<std::string>& dataFolders)
{
    const auto refs = listFiles(codecData("ref/" + refFolder), ".rgb.gz");
    ASSERT_FALSE(refs.empty());
    for (const std::string& refName : refs) {
        const std::string name = refName.substr(0, refName.size() - 7);
        std::string rel;
        for (const std::string& folder : dataFolders)
            if (fileExists(codecData(folder + "/" + name)))
                rel = folder + "/" + name;
        ASSERT_FALSE(rel.empty()) << name;
        SCOPED_TRACE(rel);
        RefImage ref;
        ASSERT_TRUE(loadRef(codecData("ref/" + refFolder + "/" + refName), ref));
        unsigned w = 0, h = 0;
        RgbImage image = readByExtension(codecData(rel), w, h);
        const auto known = kKnownDifferences.find(rel);
        if (known != kKnownDifferences.end() && known->second.rfind("fails:", 0) == 0) {
            EXPECT_TRUE(image.empty()) << "listed as failing: " << known->second;
            continue;
        }
        if (image.empty()) {
            ADD_FAILURE() << rel << ": error " << ImgLibGetLastError();
            continue;
        }
        const bool same = w == ref.width && h == ref.height && bytesOf(image) == ref.pixels;
        if (known == kKnownDifferences.end())
            EXPECT_TRUE(same) << rel << ": " << w << "x" << h << " vs " << ref.width << "x"
                              << ref.height << ", " << differingBytes(image, ref)
                              << " bytes differ";
        else
            EXPECT_FALSE(same) << "listed as different but decodes exactly: " << known->second;
    }
}

} // namespace

TEST(ReferenceDecoding, BmpSuiteGoodAndQuestionable)
{
    compareFolder("bmp", {"bmp/g", "bmp/q"});
}
TEST(ReferenceDecoding, PngSuite)
{
    compareFolder("png", {"png"});
}
TEST(ReferenceDecoding, GiflibPictures)
{
    compareFolder("gif", {"gif"});
}
TEST(ReferenceDecoding, NetpbmPcx)
{
    compareFolder("pcx", {"pcx"});
}
TEST(ReferenceDecoding, CrossFormatSamples)
{
    compareFolder("samples", {"samples"});
}

TEST(ReferenceDecoding, SuiteFilesWithoutReferenceAreRefusedAsUnsupported)
{
    // PIL cannot read these either: other compressions (bit fields, JPEG, PNG, Huffman, RLE24),
    // 2 or 64 bits, 16-byte OS/2 headers. All of them fail with code 6, except one with an
    // oversized colour count, which reads like the plain 8-bit file.
    int checked = 0;
    for (const char* folder : {"bmp/g", "bmp/q"}) {
        for (const std::string& name : listFiles(codecData(folder), ".bmp")) {
            if (fileExists(codecData("ref/bmp/" + name + ".rgb.gz")))
                continue;
            SCOPED_TRACE(name);
            ++checked;
            unsigned w = 0, h = 0;
            RgbImage image =
                ImgLibReadRGBFromBMP(codecData(std::string(folder) + "/" + name), w, h);
            if (name == "pal8oversizepal.bmp") {
                EXPECT_EQ(bytesOf(image),
                          bytesOf(ImgLibReadRGBFromBMP(codecData("bmp/g/pal8.bmp"), w, h)));
            } else {
                EXPECT_TRUE(image.empty());
                EXPECT_EQ(ImgLibGetLastError(), 6);
            }
        }
    }
    EXPECT_EQ(checked, 23);
}
