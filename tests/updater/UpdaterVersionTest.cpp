#include "updater/UpdaterVersion.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(UpdaterVersion, AboutTextsFallBackToTheBoxTexts)
{
    const AboutTexts defaults = MakeAboutTexts(nullptr);
    EXPECT_EQ(defaults.strTitle, "About Updater");
    EXPECT_EQ(defaults.strProduct, "Tessel Software Updater");
    EXPECT_EQ(defaults.strVersion, "Version 1.0");

    const AboutTexts ours = MakeAboutTexts(&UpdaterVersion());
    EXPECT_EQ(ours.strTitle, "Tessel Software Updater");
    EXPECT_EQ(ours.strVersion, "Version 1.0.3");
    EXPECT_EQ(ours.strCopyright, "Copyright (C) 2026  Tessel Software");
    EXPECT_EQ(UpdaterVersion().strFileVersion, "1.0.0.3");

    // The copyright line needs both values; empty values keep the box's texts.
    UpdaterVersionInfo partial{"", "2.0", "", "", "Copyright (C) 1999"};
    const AboutTexts texts = MakeAboutTexts(&partial);
    EXPECT_EQ(texts.strTitle, defaults.strTitle);
    EXPECT_EQ(texts.strProduct, defaults.strProduct);
    EXPECT_EQ(texts.strVersion, "Version 2.0");
    EXPECT_EQ(texts.strCopyright, defaults.strCopyright);
}
