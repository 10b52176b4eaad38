#include "app/DaemonHost.h"
#include "app/CheckFtp.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

TEST(DaemonHost, QuestionsAreAnsweredNoAndTheSheetIsCancelled)
{
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    {
        DaemonHost host(out, [] { return std::time_t(0); });
        EXPECT_FALSE(host.askYesNo("Would you like to disconnect?"));
        EXPECT_FALSE(host.RunSettingsSheet());
        host.message("Unable to set timer.");
    }
    std::fclose(out);
    const std::string text(buffer, size);
    std::free(buffer);
    EXPECT_NE(text.find("question: Would you like to disconnect? (answered No"), std::string::npos);
    EXPECT_NE(text.find("message: Unable to set timer.\n"), std::string::npos);
}

TEST(CheckFtp, PasswordsAreHidden)
{
    EXPECT_EQ(HidePasswords("USER cam\n331 Password required\nPASS s3cret\n230 ok\n"),
              "USER cam\n331 Password required\nPASS ********\n230 ok\n");
    EXPECT_EQ(HidePasswords("PASS a@b\r\n"), "PASS ********\r\n");
}
