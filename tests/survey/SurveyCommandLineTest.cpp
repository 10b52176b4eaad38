#include "survey/SurveyCommandLine.h"

#include <gtest/gtest.h>

#include <vector>

using vistrel::CSurveyCommandLine;

namespace {

CSurveyCommandLine Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "leavenote");
    CSurveyCommandLine cmd;
    cmd.Parse(static_cast<int>(args.size()), args.data());
    return cmd;
}

} // namespace

TEST(SurveyCommandLine, TitleAndAddressInEitherOrder)
{
    auto cmd = Parse({"/url", "http://example.invalid/why", "/title", "Vistrel"});
    EXPECT_EQ(cmd.GetTitle(), "Vistrel");
    EXPECT_EQ(cmd.GetAddress(), "http://example.invalid/why");
    cmd = Parse({"-title", "Web Cam Pro", "-url", "A"});
    EXPECT_EQ(cmd.GetTitle(), "Web Cam Pro");
    EXPECT_EQ(cmd.GetAddress(), "A");
}

TEST(SurveyCommandLine, LastValueWinsAndStrayValuesAreIgnored)
{
    auto cmd = Parse({"stray", "/title", "A", "B"});
    EXPECT_EQ(cmd.GetTitle(), "B");
    EXPECT_EQ(cmd.GetAddress(), "");
    cmd = Parse({"/other", "X", "/url"});
    EXPECT_EQ(cmd.GetTitle(), "");
    EXPECT_EQ(cmd.GetAddress(), "");
    EXPECT_EQ(cmd.GetLastOption(), "url");
    EXPECT_EQ(Parse({}).GetTitle(), "");
}

TEST(SurveyCommandLine, OptionNamesCompareTheirBeginningCaseSensitively)
{
    EXPECT_EQ(Parse({"/TITLE", "A"}).GetTitle(), "");
    EXPECT_EQ(Parse({"/titles", "A"}).GetTitle(), "A");
    EXPECT_EQ(Parse({"/tit", "A"}).GetTitle(), "");
    EXPECT_EQ(Parse({"/urlx", "A"}).GetAddress(), "A");
    EXPECT_EQ(Parse({"/URL", "A"}).GetAddress(), "");
    EXPECT_EQ(Parse({"/ur", "A"}).GetAddress(), "");
    // A lone "/" or "-" is an option with an empty name.
    EXPECT_EQ(Parse({"/title", "A", "-", "B"}).GetTitle(), "A");
}
