#include "app/DaemonOptions.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(DaemonOptions, ParsesEveryOptionAndRefusesBadOnes)
{
    DaemonOptions o;
    std::string error;
    ASSERT_TRUE(ParseDaemonOptions({"--config", "cam2", "--once"}, &o, &error));
    EXPECT_EQ(o.config, "cam2");
    EXPECT_TRUE(o.once);
    EXPECT_FALSE(o.checkFtp);
    ASSERT_TRUE(ParseDaemonOptions({"--config=/etc/cam", "--check-ftp"}, &o, &error));
    EXPECT_EQ(o.config, "/etc/cam");
    EXPECT_TRUE(o.checkFtp);
    ASSERT_TRUE(ParseDaemonOptions({}, &o, &error));
    EXPECT_EQ(o.config, "");
    ASSERT_TRUE(ParseDaemonOptions({"--help", "--version"}, &o, &error));
    EXPECT_TRUE(o.help && o.version);

    EXPECT_FALSE(ParseDaemonOptions({"--config"}, &o, &error));
    EXPECT_EQ(error, "option --config needs a settings name");
    EXPECT_FALSE(ParseDaemonOptions({"--frobnicate"}, &o, &error));
    EXPECT_EQ(error, "unknown option --frobnicate (try --help)");
    EXPECT_FALSE(ParseDaemonOptions({"--once", "--check-ftp"}, &o, &error));
    ASSERT_TRUE(ParseDaemonOptions({"--set-password", "proxy"}, &o, &error));
    EXPECT_EQ(o.setPassword, "proxy");
    EXPECT_FALSE(ParseDaemonOptions({"--set-password", "root"}, &o, &error));
    EXPECT_EQ(error, "option --set-password needs ftp, proxy or dialup");
    EXPECT_FALSE(ParseDaemonOptions({"--set-password", "ftp", "--once"}, &o, &error));
    EXPECT_FALSE(ParseDaemonOptions({"cam2"}, &o, &error));
}
