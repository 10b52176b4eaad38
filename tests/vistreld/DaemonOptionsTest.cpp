#include "vistreld/DaemonOptions.h"

#include "TestSupport.h"
#include "config/SettingsFile.h"

#include <gtest/gtest.h>

#include <map>

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

TEST(DaemonOptions, OneOffOptionsAndTheirRefusals)
{
    DaemonOptions o;
    std::string error;
    ASSERT_TRUE(ParseDaemonOptions({"--once", "--device", "/dev/video2", "--size=1280x720",
                                    "--title", "Garden", "--timestamp", "%H:%M", "--logo",
                                    "logo.png", "--jpeg=90", "--output", "/tmp/snap.jpg"},
                                   &o, &error))
        << error;
    EXPECT_EQ(o.device, "/dev/video2");
    EXPECT_EQ(o.width, 1280);
    EXPECT_EQ(o.height, 720);
    EXPECT_EQ(o.title, "Garden");
    EXPECT_EQ(o.timestamp, "%H:%M");
    EXPECT_EQ(o.jpegQuality, 90);
    EXPECT_EQ(o.output, "/tmp/snap.jpg");

    // Each refusal names the option and what it needs.
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"--once", "--size", "1280"}, "option --size needs WIDTHxHEIGHT"},
        {{"--once", "--size", "0x720"}, "option --size needs WIDTHxHEIGHT"},
        {{"--once", "--size", "640x480x3"}, "option --size needs WIDTHxHEIGHT"},
        {{"--once", "--size", "99999x480"}, "option --size needs WIDTHxHEIGHT"},
        {{"--once", "--jpeg", "0"}, "option --jpeg needs a quality from 1 to 100, not \"0\""},
        {{"--once", "--jpeg", "75%"}, "option --jpeg needs a quality from 1 to 100"},
        {{"--once", "--timestamp", ""}, "option --timestamp needs a strftime pattern"},
        {{"--once", "--device="}, "option --device needs a device path"},
        {{"--once", "--output", "/tmp/"}, "option --output needs a file name"},
        {{"--once", "--output"}, "option --output needs a value"},
        {{"--title", "x"},
         "--device, --size, --title, --timestamp, --logo, --jpeg and --output "
         "go with --once"},
    };
    for (const auto& [args, message] : refusals) {
        EXPECT_FALSE(ParseDaemonOptions(args, &o, &error)) << args.back();
        EXPECT_EQ(error.rfind(message, 0), 0u) << error;
    }
}

TEST(DaemonOptions, OneOffOptionsBecomeTheRunsSettings)
{
    DaemonOptions o;
    std::string error;
    ASSERT_TRUE(ParseDaemonOptions({"--once", "--size", "640x480", "--title", ""}, &o, &error));
    std::map<std::string, std::string> set;
    for (const RunOnlySetting& s : OneOffSettings(o))
        set[s.section + "/" + s.key] = s.value;
    // A size is Width and Height alone: the rest of a stored header must not count.
    EXPECT_EQ(set["ImageFormat/Width"], "640");
    EXPECT_EQ(set["ImageFormat/Height"], "480");
    EXPECT_EQ(set["ImageFormat/BitCount"], "0");
    EXPECT_EQ(set["ImageFormat/Size"], "0");
    // An empty title turns the banner off.
    EXPECT_EQ(set["ImageOptions/EnableMessage"], "0");
    EXPECT_EQ(set.count("ImageOptions/Quality"), 0u);

    test::TempDir dir;
    o.logo = dir.path() + "/missing.png";
    EXPECT_FALSE(CheckOneOffFiles(o, &error));
    EXPECT_EQ(error, "option --logo: " + o.logo + " is not a picture file that can be read");
    o.logo.clear();
    o.output = dir.path() + "/no/such/snap.jpg";
    EXPECT_FALSE(CheckOneOffFiles(o, &error));
    EXPECT_EQ(error, "option --output: the folder " + dir.path() + "/no/such does not exist");
    o.output = dir.path();
    EXPECT_FALSE(CheckOneOffFiles(o, &error));
    o.output = dir.path() + "/snap.jpg";
    EXPECT_TRUE(CheckOneOffFiles(o, &error));
}
