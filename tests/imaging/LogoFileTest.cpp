// The logo reader the logo dialog shares with the pipeline, chosen by the file name.
#include "imaging/LogoFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vistrel;

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
