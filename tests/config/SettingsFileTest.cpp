#include "config/SettingsFile.h"
#include "config/KeyCatalogue.h"

#include "ConfigTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;
using test::EnvOverride;

TEST(SettingsFileName, ComesFromTheWholeCommandLineTail)
{
    EXPECT_EQ(SettingsFileName(""), "vistrel.ini");
    EXPECT_EQ(SettingsFileName("test"), "test.ini");
    EXPECT_EQ(SettingsFileName("cam 2 \"x\""), "cam 2 \"x\".ini");
    EXPECT_EQ(SettingsFileName("cam2.ini"), "cam2.ini.ini");

    const char* argv[] = {"vistrel", "my", "cam"};
    EXPECT_EQ(CommandLineTail(3, argv), "my cam");
    EXPECT_EQ(CommandLineTail(1, argv), "");
}

TEST(SettingsFileName, BareNamesLiveInTheConfigFolder)
{
    test::TempDir dir;
    {
        EnvOverride xdg("XDG_CONFIG_HOME", dir.path() + "/xdg");
        EXPECT_EQ(ResolveSettingsPath("cam2.ini"), dir.path() + "/xdg/vistrel/cam2.ini");
        struct stat st {};
        ASSERT_EQ(::stat((dir.path() + "/xdg/vistrel").c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 077, 0u);
    }
    {
        // Unset, or relative (which the XDG rules say to ignore): ~/.config.
        EnvOverride home("HOME", dir.path() + "/home");
        EnvOverride xdg("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(ResolveSettingsPath("vistrel.ini"),
                  dir.path() + "/home/.config/vistrel/vistrel.ini");
        EnvOverride relative("XDG_CONFIG_HOME", "relative/dir");
        EXPECT_EQ(ResolveSettingsPath("a.ini"), dir.path() + "/home/.config/vistrel/a.ini");
    }
    // A name with a '/' is used as given, and nothing is created for it.
    EXPECT_EQ(ResolveSettingsPath("./cams/cam2.ini"), "./cams/cam2.ini");
    EXPECT_EQ(ResolveSettingsPath("/nonexistent/x.ini"), "/nonexistent/x.ini");
    EXPECT_FALSE(test::fileExists("/nonexistent"));
}

TEST(SettingsFileName, IsFixedOncePerProcess)
{
    test::TempDir dir;
    EnvOverride xdg("XDG_CONFIG_HOME", dir.path());
    SetSettingsFilePathForTesting({});
    EXPECT_EQ(FixSettingsFile("first"), dir.path() + "/vistrel/first.ini");
    EXPECT_EQ(FixSettingsFile("second"), dir.path() + "/vistrel/first.ini");
    EXPECT_EQ(SettingsFilePath(), dir.path() + "/vistrel/first.ini");

    SetSettingsFilePathForTesting({});
    EXPECT_EQ(SettingsFilePath(), dir.path() + "/vistrel/vistrel.ini");
    SetSettingsFilePathForTesting({});
}

using SettingsAccess = test::SettingsFileTest;

TEST_F(SettingsAccess, IntsAndStringsGoToTheFixedFile)
{
    EXPECT_TRUE(IniWriteInt("ImageOptions", "FontHeight", -20));
    EXPECT_EQ(IniReadInt("ImageOptions", "FontHeight", -13), -20);
    EXPECT_EQ(IniReadInt("ImageOptions", "Missing", -13), -13);
    EXPECT_TRUE(IniWriteString("ImageOptions", "Message", " Hello, world "));
    EXPECT_EQ(IniReadString("ImageOptions", "Message", ""), " Hello, world ");
    EXPECT_EQ(IniReadString("ImageOptions", "Other", "dflt"), "dflt");
    EXPECT_EQ(content(), "[ImageOptions]\nFontHeight=-20\nMessage=\" Hello, world \"\n");
    // A banner text with a line break would split the file; it is refused.
    EXPECT_FALSE(IniWriteString("ImageOptions", "Message", "two\nlines"));
    EXPECT_EQ(IniReadString("ImageOptions", "Message", ""), " Hello, world ");
}

TEST_F(SettingsAccess, PasswordsAreStoredScrambledAndReadBackWhole)
{
    EXPECT_TRUE(IniWritePassword("ConnectOptions", "Password", "my pass~word"));
    EXPECT_EQ(content().find("my pass"), std::string::npos);
    EXPECT_EQ(IniReadPassword("ConnectOptions", "Password"), "my pass~word");
    EXPECT_EQ(ReadSettingString("ConnectOptions", "Password"), "my pass~word");

    const std::string longest(511, '}'); // odd stored characters: 1022 with fillers
    EXPECT_TRUE(PasswordFitsSettingsFile(longest));
    EXPECT_TRUE(IniWritePassword("UploadOptions", "FTPPassword", longest));
    EXPECT_EQ(IniReadPassword("UploadOptions", "FTPPassword"), longest);

    // Too long to be read back whole: refused, the stored password stays.
    const std::string tooLong(300, ' ');
    EXPECT_FALSE(PasswordFitsSettingsFile(tooLong));
    EXPECT_FALSE(IniWritePassword("UploadOptions", "FTPPassword", tooLong));
    EXPECT_EQ(IniReadPassword("UploadOptions", "FTPPassword"), longest);
}

TEST(KeyCatalogue, HoldsEveryKeyOnceWithItsDefaults)
{
    std::set<std::string> seen;
    std::set<std::string> sections;
    for (const SettingKey& k : SettingKeys()) {
        EXPECT_TRUE(seen.insert(std::string(k.section) + "/" + std::string(k.key)).second)
            << k.section << "/" << k.key;
        sections.insert(std::string(k.section));
    }
    EXPECT_EQ(seen.size(), 147u);
    EXPECT_EQ(sections.size(), 9u);

    const SettingKey* k = FindSettingKey("uploadoptions", "FIREWALLTYPE");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->programDefaultInt(), 0);
    EXPECT_EQ(k->pageDefaultInt(), 3);
    EXPECT_EQ(FindSettingKey("ImageOptions", "FontColor")->pageDefaultInt(), 16777215);
    EXPECT_EQ(FindSettingKey("ImageOptions", "FontHeight")->programDefaultInt(), -13);
    EXPECT_EQ(FindSettingKey("UploadOptions", "FTPPassword")->type, SettingType::Password);
    EXPECT_EQ(FindSettingKey("NetworkCameras", "Camera4Password")->type, SettingType::Password);
    EXPECT_EQ(FindSettingKey("NetworkCameras", "Camera5URL"), nullptr);
    EXPECT_EQ(FindSettingKey("UploadOptions", "CurrentUpload")->pageDefault, nullptr);
    EXPECT_EQ(FindSettingKey("ImageOptions", "Italic"), nullptr);
    // FTPS: missing keys keep plain FTP, and certificates are checked once TLS is on.
    EXPECT_EQ(FindSettingKey("UploadOptions", "FTPSecurity")->programDefaultInt(), 0);
    EXPECT_EQ(FindSettingKey("UploadOptions", "FTPVerifyCertificate")->programDefaultInt(), 1);
}

TEST_F(SettingsAccess, ProgramAndPageDefaultsDifferWhereThePagesSaySo)
{
    EXPECT_EQ(ReadSettingInt("UploadOptions", "SuppressErrors"), 1);
    EXPECT_EQ(ReadPageInt("UploadOptions", "SuppressErrors"), 0);
    EXPECT_EQ(ReadSettingInt("UploadOptions", "FTPUpload"), 0);
    EXPECT_EQ(ReadPageInt("UploadOptions", "FTPUpload"), 1);
    EXPECT_EQ(ReadPageInt("UploadOptions", "FTPTimeOut"), 45); // no page: the program's default
    EXPECT_EQ(ReadPageString("Options", "SoundFile"), "shutter.wav");
    setContent("[UploadOptions]\nSuppressErrors=1\n");
    EXPECT_EQ(ReadPageInt("UploadOptions", "SuppressErrors"), 1);
}

TEST_F(SettingsAccess, VideoFormatFieldsRoundTripUnderTheirNames)
{
    VideoFormatSettings f;
    f.Size = 40;
    f.Width = 640;
    f.Height = 480;
    f.Planes = 1;
    f.BitCount = 24;
    f.Compression = 0;
    f.SizeImage = 921600;
    f.ClrImportant = 7;
    EXPECT_TRUE(WriteVideoFormatSettings(f));
    EXPECT_EQ(IniReadInt("ImageFormat", "BitCount", 0), 24);
    EXPECT_EQ(IniReadInt("imageformat", "sizeimage", 0), 921600);
    const VideoFormatSettings g = ReadVideoFormatSettings();
    EXPECT_EQ(g.Width, 640);
    EXPECT_EQ(g.Height, 480);
    EXPECT_EQ(g.Planes, 1);
    EXPECT_EQ(g.ClrImportant, 7);
    EXPECT_EQ(g.XPelsPerMeter, 0);
}

TEST(WorkingFolder, EachSettingsFileWithoutInstallDirectoryGetsItsOwn)
{
    test::TempDir dir;
    test::EnvOverride config("XDG_CONFIG_HOME", dir.file("config"));
    test::EnvOverride state("XDG_STATE_HOME", dir.file("state"));
    std::optional<test::EnvOverride> unit;
    unit.emplace("STATE_DIRECTORY", std::nullopt);
    const std::string configDir = dir.file("config/vistrel");
    const std::string stateDir = dir.file("state/vistrel");

    struct Case {
        std::string settings, install, expected;
    };
    const std::string otherHash = StateFolderName(dir.file("elsewhere/cam2.ini"));
    const Case cases[] = {
        {configDir + "/cam2.ini", "/opt/vistrel/", "/opt/vistrel/"}, // Install/Directory wins
        {configDir + "/vistrel.ini", "", ""},                        // the default file: here
        {configDir + "/cam2.ini", "", stateDir + "/cam2/"},
        {configDir + "/vistrel", "", stateDir + "/vistrel/"}, // not the default file
        {dir.file("elsewhere/cam2.ini"), "", stateDir + "/" + otherHash + "/"},
    };
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path()); // a folder this user may write
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        SetSettingsFilePathForTesting(c.settings);
        std::string error;
        EXPECT_EQ(WorkingFolder(c.install, &error), c.expected);
        EXPECT_EQ(error, "");
        if (c.expected.starts_with(stateDir)) {
            struct stat st {};
            ASSERT_EQ(::stat(c.expected.c_str(), &st), 0);
            EXPECT_TRUE(S_ISDIR(st.st_mode));
            EXPECT_EQ(st.st_mode & 0777, 0700u);
        }
    }
    // A systemd instance: the folder its unit made for it.
    unit.emplace("STATE_DIRECTORY", dir.file("unit/cam2") + ":/elsewhere");
    SetSettingsFilePathForTesting(configDir + "/cam2.ini");
    EXPECT_EQ(WorkingFolder(""), dir.file("unit/cam2") + "/");
    EXPECT_EQ(WorkingFolder("/opt/vistrel/"), "/opt/vistrel/");
    unit.emplace("STATE_DIRECTORY", std::nullopt);
    std::filesystem::current_path(cwd);
    // One name in two folders: two working folders, each the same at every start.
    EXPECT_TRUE(otherHash.starts_with("cam2-")) << otherHash;
    EXPECT_EQ(otherHash.size(), 5u + 16u);
    EXPECT_NE(StateFolderName(dir.file("a/cam.ini")), StateFolderName(dir.file("b/cam.ini")));
    EXPECT_EQ(StateFolderName(dir.file("a/cam.ini")), StateFolderName(dir.file("a/./cam.ini")));

    if (::geteuid() != 0) { // root may write anywhere
        test::TempDir readOnly;
        ::chmod(readOnly.path().c_str(), 0555);
        std::filesystem::current_path(readOnly.path());
        SetSettingsFilePathForTesting(configDir + "/vistrel.ini");
        EXPECT_EQ(WorkingFolder(""), stateDir + "/vistrel/");
        std::filesystem::current_path(cwd);
        ::chmod(readOnly.path().c_str(), 0755);
    }
    SetSettingsFilePathForTesting("");
}

TEST(SettingsFile, OnlyARegularFileOrNoneCanBeTheSettingsFile)
{
    test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.file("missing.ini").c_str(), dir.file("dangling.ini").c_str()), 0);
    test::writeFile(dir.file("plain.ini"), "");
    for (const char* ok : {"plain.ini", "missing.ini", "dangling.ini"}) {
        std::string error;
        EXPECT_TRUE(CheckSettingsFile(dir.file(ok), &error)) << ok;
        EXPECT_EQ(error, "");
    }
    for (const char* bad : {"fifo.ini", ""}) { // a FIFO; the folder itself
        std::string error;
        EXPECT_FALSE(CheckSettingsFile(dir.file(bad), &error)) << bad;
        EXPECT_EQ(error, dir.file(bad) + " is not a regular file");
    }
}
