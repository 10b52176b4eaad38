#include "vistreld/DaemonHost.h"
#include "app/CheckFtp.h"
#include "config/SettingsFile.h"
#include "config/SettingsMigration.h"
#include "imaging/ComposeAndSave.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

using namespace vistrel;

TEST(DaemonHost, OneTimestampedLinePerEntry)
{
    const test::ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ(DaemonHost::FormatLine(0, "status", "Capturing Image..."),
              "1970-01-01 00:00:00 status: Capturing Image...\n");
    EXPECT_EQ(DaemonHost::FormatLine(86400, "message", "FTP Error: 530 Login incorrect.\n"),
              "1970-01-02 00:00:00 message: FTP Error: 530 Login incorrect.\n");
    EXPECT_EQ(DaemonHost::FormatLine(0, "status", "12:00\nAuto-Capture Disabled"),
              "1970-01-01 00:00:00 status: 12:00 / Auto-Capture Disabled\n");
}

// The log puts a failed grab's reason before the desktop program's general capture error.
TEST(DaemonHost, ACaptureErrorIsLoggedWithItsCauseFirst)
{
    const std::string general = kCaptureSaveFailedText;
    const std::string cause = "No picture from 127.0.0.1:8080: the camera answered HTTP 404";
    EXPECT_EQ(DaemonHost::CauseFirst(general + "\n" + cause), cause + "\n" + general);
    for (const std::string& asItIs :
         {general, general + "\n", "FTP Error: 530 Login incorrect.\n" + cause, std::string()})
        EXPECT_EQ(DaemonHost::CauseFirst(asItIs), asItIs);
    const test::ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ(DaemonHost::FormatLine(0, "error", DaemonHost::CauseFirst(general + "\n" + cause)),
              "1970-01-01 00:00:00 error: " + cause +
                  " / Capture Error: Unable to save captured image. /  Please check your Image "
                  "Format Settings. /  The Help file Device Settings section contains /  "
                  "additional information on this error.\n");
}

TEST(DaemonHost, JournalLinesCarryAPriorityAndNoTimeOfTheirOwn)
{
    const std::pair<const char*, const char*> cases[] = {
        {"error", "<3>error: it failed\n"},     {"warning", "<4>warning: it failed\n"},
        {"message", "<4>message: it failed\n"}, {"question", "<4>question: it failed\n"},
        {"plan", "<6>plan: it failed\n"},       {"status", "<6>status: it failed\n"},
    };
    for (const auto& [kind, line] : cases)
        EXPECT_EQ(DaemonHost::FormatLine(86400, kind, "it failed\n", true), line);

    // The journal is told by the device and inode of the stream, not by the variable alone.
    test::TempDir dir;
    std::FILE* file = std::fopen(dir.file("log").c_str(), "w");
    ASSERT_TRUE(file);
    struct stat st {};
    ASSERT_EQ(::fstat(::fileno(file), &st), 0);
    const std::string mine = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    EXPECT_TRUE(DaemonHost::IsJournalStream(file, mine.c_str()));
    const std::string other = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1);
    for (const char* value : {other.c_str(), "", "12", "1:2x", (const char*)nullptr})
        EXPECT_FALSE(DaemonHost::IsJournalStream(file, value)) << (value ? value : "unset");
    std::fclose(file);
}

TEST(DaemonHost, QuestionsAreAnsweredNoAndTheSheetTakesWhatItsPagesShow)
{
    test::TempDir dir;
    SetSettingsFilePathForTesting(dir.file("cam.ini"));
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    {
        DaemonHost host(out, [] { return std::time_t(0); });
        EXPECT_FALSE(host.askYesNo("Would you like to disconnect?"));
        // The version check's first start, as it runs it.
        host.OpenHelpTopic(kFirstStartHelpTopic);
        EXPECT_TRUE(host.RunSettingsSheet());
        IniWriteInt("License", "INIVersion", kCurrentIniVersion);
        host.Redraw();
        host.message("Unable to set timer.");
    }
    std::fclose(out);
    const std::string text(buffer, size);
    std::free(buffer);
    SetSettingsFilePathForTesting({});
    EXPECT_NE(text.find("question: Would you like to disconnect? (answered No"), std::string::npos);
    EXPECT_NE(text.find("settings: first start: every key of the settings file is described in "
                        "vistrel.ini(5)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("ImageOptions/FontColor=16777215, ImageOptions/TimeFontColor=16777215"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("no FTP server is set, so FTP upload stays off"), std::string::npos);
    EXPECT_NE(text.find("settings: License/INIVersion=1005 set"), std::string::npos);
    EXPECT_NE(text.find("message: Unable to set timer.\n"), std::string::npos);
}

TEST(CheckFtp, PasswordsAreHidden)
{
    EXPECT_EQ(HidePasswords("USER cam\n331 Password required\nPASS s3cret\n230 ok\n"),
              "USER cam\n331 Password required\nPASS ********\n230 ok\n");
    EXPECT_EQ(HidePasswords("PASS a@b\r\n"), "PASS ********\r\n");
}
