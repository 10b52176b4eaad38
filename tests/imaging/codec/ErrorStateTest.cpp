#include "CodecTestData.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vistrel;
using namespace vistrel::test;

TEST(ErrorText, PrefixUndefinedAndStandAloneTexts)
{
    EXPECT_EQ(ImageLibraryErrorText(10), "Device error");
    EXPECT_EQ(ImageLibraryErrorText(11), "GetDIBits error");
    EXPECT_EQ(ImageLibraryErrorText(13), "Resource Not Found");
    EXPECT_EQ(ImageLibraryErrorText(33), "Image Error (33): Undefined Error");
    EXPECT_EQ(ImageLibraryErrorText(28),
              "Image Error (28): The file was not of the requested bit-depth");
    EXPECT_EQ(ImageLibraryErrorText(0), "Image Error (0): No error");
    EXPECT_EQ(ImageLibraryErrorText(-1), "Image Error (-1): Undefined Error");
    EXPECT_EQ(ImageLibraryErrorText(41), "Image Error (41): Undefined Error");
    EXPECT_EQ(ImageLibraryErrorText(16),
              "Image Error (16): Internal PNG creation error - possibly bad params");
    EXPECT_EQ(ImageLibraryErrorText(7), "Image Error (7): We don't do RLE BMP files");
    EXPECT_EQ(ImageLibraryErrorText(12), "Image Error (12): No GIF support..");
    EXPECT_EQ(ImageLibraryErrorText(31), "Image Error (31): Not enough room in the output "
                                         "palette to store the colors from this image");
    EXPECT_EQ(ImageLibraryErrorText(40),
              "Image Error (40): LZW de/compression has not been activated");
}

TEST(ErrorText, ViewerTableLacksThirtyOneAndThirtySevenToForty)
{
    for (int code = -2; code <= 42; ++code) {
        SCOPED_TRACE(code);
        const bool lacking = code == 31 || (code >= 37 && code <= 40);
        if (lacking)
            EXPECT_EQ(ImageViewerErrorText(code),
                      "Image Error (" + std::to_string(code) + "): Undefined Error");
        else
            EXPECT_EQ(ImageViewerErrorText(code), ImageLibraryErrorText(code));
    }
    EXPECT_NE(ImageLibraryErrorText(37), ImageViewerErrorText(37));
}

TEST(LastError, EachOperationStartsFromZeroAndThreadsKeepTheirOwn)
{
    unsigned w = 0, h = 0;
    ImgLibReadRGBFromBMP(codecData("missing.bmp"), w, h);
    ASSERT_EQ(ImgLibGetLastError(), 2);

    // Another thread has its own record: it starts at 0 and its failure does not reach us.
    int seenThere = -1, afterFailureThere = -1;
    std::thread other([&] {
        seenThere = ImgLibGetLastError();
        unsigned w2 = 0, h2 = 0;
        ImgLibReadRGBFromPCX(codecData("bmp/g/pal8.bmp"), w2, h2);
        afterFailureThere = ImgLibGetLastError();
    });
    other.join();
    EXPECT_EQ(seenThere, 0);
    EXPECT_EQ(afterFailureThere, 22);
    EXPECT_EQ(ImgLibGetLastError(), 2);

    // A later success on this thread leaves 0.
    EXPECT_FALSE(ImgLibReadRGBFromBMP(codecData("bmp/g/pal8.bmp"), w, h).empty());
    EXPECT_EQ(ImgLibGetLastError(), 0);
}

TEST(LastError, ManyThreadsAtOnce)
{
    std::vector<std::thread> threads;
    std::vector<int> results(8, -1);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([i, &results] {
            int wrong = 0;
            for (int round = 0; round < 50; ++round) {
                unsigned w = 0, h = 0;
                if (i % 2) {
                    ColorRef transparent = 0;
                    ImgLibReadRGBFromGIF(codecData("missing.gif"), w, h, transparent);
                    wrong += ImgLibGetLastError() != 2;
                } else {
                    ImgLibReadRGBFromPCX(codecData("pcx/nb_8bpp_1x1.pcx"), w, h);
                    wrong += ImgLibGetLastError() != 0;
                }
            }
            results[i] = wrong;
        });
    }
    for (auto& t : threads)
        t.join();
    for (int r : results)
        EXPECT_EQ(r, 0);
}
