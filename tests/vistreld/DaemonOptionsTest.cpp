#include "vistreld/DaemonOptions.h"

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
    ASSERT_TRUE(ParseDaemonOptions({"--check-upload"}, &o, &error));
    EXPECT_TRUE(o.checkUpload && !o.checkFtp);
    EXPECT_FALSE(ParseDaemonOptions({"--check-upload", "--check-ftp"}, &o, &error));
    ASSERT_TRUE(ParseDaemonOptions({"--set-password", "proxy"}, &o, &error));
    EXPECT_EQ(o.setPassword, "proxy");
    EXPECT_FALSE(ParseDaemonOptions({"--set-password", "root"}, &o, &error));
    EXPECT_EQ(error, "option --set-password needs ftp, proxy, dialup, sftp-key, s3 or camera1 to "
                     "camera4");
    ASSERT_TRUE(ParseDaemonOptions({"--set-password", "camera4"}, &o, &error));
    EXPECT_FALSE(ParseDaemonOptions({"--set-password", "camera5"}, &o, &error));
    // Each name stores its own key.
    for (const auto& [name, key] : std::vector<std::pair<std::string, std::string>>{
             {"ftp", "UploadOptions/FTPPassword"},
             {"proxy", "UploadOptions/FireWallPassword"},
             {"dialup", "ConnectOptions/Password"},
             {"sftp-key", "UploadOptions/SFTPKeyPassphrase"},
             {"s3", "UploadOptions/S3Secret"},
             {"camera2", "NetworkCameras/Camera2Password"}}) {
        const PasswordTarget* t = FindPasswordTarget(name);
        ASSERT_NE(t, nullptr) << name;
        EXPECT_EQ(std::string(t->section) + "/" + t->key, key);
    }
    EXPECT_FALSE(ParseDaemonOptions({"--set-password", "ftp", "--once"}, &o, &error));
    EXPECT_FALSE(ParseDaemonOptions({"cam2"}, &o, &error));
}

TEST(DaemonOptions, ListDevicesAndClearingAPassword)
{
    DaemonOptions o;
    std::string error;
    ASSERT_TRUE(ParseDaemonOptions({"--list-devices"}, &o, &error));
    EXPECT_TRUE(o.listDevices);
    ASSERT_TRUE(ParseDaemonOptions({"--set-password", "ftp", "--clear"}, &o, &error));
    EXPECT_TRUE(o.clearPassword);
    EXPECT_FALSE(ParseDaemonOptions({"--clear"}, &o, &error));
    EXPECT_EQ(error, "--clear goes with --set-password WHICH");
    EXPECT_FALSE(ParseDaemonOptions({"--list-devices", "--once"}, &o, &error));
}

TEST(DaemonOptions, ANameEndingInDotIniIsTheFileItself)
{
    const std::pair<const char*, const char*> cases[] = {
        {"cam", "cam"},
        {"cam.ini", "cam"},
        {"/srv/cam.ini", "/srv/cam"},
        {"cam.ini.ini", "cam.ini"},
        {".ini", ".ini"},
        {"/srv/.ini", "/srv/.ini"},
        {"cam.INI", "cam.INI"},
        {"cam.ini2", "cam.ini2"},
        {"", ""},
    };
    for (const auto& [option, tail] : cases)
        EXPECT_EQ(SettingsTailForOption(option), tail) << option;
}

TEST(DaemonOptions, TheFolderOfAnExplicitSettingsFileMustExist)
{
    std::string error;
    EXPECT_TRUE(SettingsFolderExists("/tmp/not-yet-there.ini", &error));
    EXPECT_TRUE(SettingsFolderExists("cam.ini", &error));
    EXPECT_TRUE(SettingsFolderExists("/cam.ini", &error));
    EXPECT_FALSE(SettingsFolderExists("/nonexistent-folder/cam.ini", &error));
    EXPECT_EQ(error, "the folder of the settings file /nonexistent-folder/cam.ini does not exist");
    EXPECT_FALSE(SettingsFolderExists("/etc/hostname/cam.ini", &error)); // a file, no folder
}
