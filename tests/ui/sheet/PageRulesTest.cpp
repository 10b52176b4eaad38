// The settings pages' decisions that need no window: numbers typed into edits, the archive-time
// text, the time pickers' format, the FTP file name rule, the up-down direction and the
// autostart command.

#include "ui/sheet/PageRules.h"
#include "TestSupport.h"
#include "config/SettingsFile.h"
#include "platform/Autostart.h"
#include "ui/sheet/UpDownEdit.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vistrel {
namespace {

TEST(PageRules, NumbersAreReadAsThePagesAlwaysHave)
{
    struct Case {
        const char* text;
        std::optional<int> integer;
        std::optional<int> nonNegative;
    };
    const Case cases[] = {
        {"5", 5, 5},
        {"  42 ", 42, 42},
        {"+7", 7, 7},
        {"-3", -3, std::nullopt},
        {"0", 0, 0},
        {"", std::nullopt, std::nullopt},
        {"-", std::nullopt, std::nullopt},
        {"1.5", std::nullopt, std::nullopt},
        {"12abc", std::nullopt, std::nullopt},
        {"1 2", std::nullopt, std::nullopt},
        {"2147483647", 2147483647, 2147483647},
        {"2147483648", std::nullopt, std::nullopt},
        {"-2147483648", -2147483647 - 1, std::nullopt},
        {"99999999999999999999", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseInteger(QString::fromLatin1(c.text)), c.integer);
        EXPECT_EQ(ParseNonNegativeInteger(QString::fromLatin1(c.text)), c.nonNegative);
    }
    EXPECT_EQ(EnterIntegerBetweenText(1, 45), "Please enter an integer between 1 and 45.");
    EXPECT_EQ(EnterNoMoreThanText(1024), "Please enter no more than 1024 characters.");
}

TEST(PageRules, ArchiveTimeText)
{
    struct Case {
        int archive, interval, unit;
        const char* text;
    };
    const Case cases[] = {
        {3, 5, 1, "(15.0 minutes)"},
        {1, 30, 0, "(30 seconds)"},
        {12, 2, 2, "(1.0 days)"},
        {60, 1, 0, "(1.0 minutes)"},
        {0, 5, 1, "(0 seconds)"},
        {1, 59, 0, "(59 seconds)"},
        {1, 1, 2, "(1.0 hours)"},
        {7, 13, 1, "(1.5 hours)"},     // 5460 s
        {1, 86399, 0, "(24.0 hours)"}, // a second short of a day, rounded by %.1f
        {1, 5, 7, "(5 seconds)"},      // an unknown unit counts as seconds
        {-2, 5, 0, "(-10 seconds)"},
        // 3 x 1000000 x 3600 wraps in 32 bits to a negative number of seconds.
        {3, 1000000, 2, "(-2084901888 seconds)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ArchiveTimeText(c.archive, c.interval, c.unit), QString::fromLatin1(c.text));
    }
}

TEST(PageRules, TimePickersFollowTheLocalesClock)
{
    EXPECT_EQ(TimePickerFormat("HH:mm:ss"), "HH:mm");
    EXPECT_EQ(TimePickerFormat("H:mm"), "HH:mm");
    EXPECT_EQ(TimePickerFormat("HH.mm"), "HH.mm");
    EXPECT_EQ(TimePickerFormat("h:mm AP"), "h:mm AP");
    EXPECT_EQ(TimePickerFormat("hh:mm:ss ap"), "h:mm AP");
    EXPECT_EQ(TimePickerFormat("AP h:mm"), "h:mm AP");
    EXPECT_EQ(TimePickerFormat("H'h'mm"), "HH'h'mm");
    EXPECT_EQ(TimePickerFormat("HHmm"), "HH:mm"); // no separator: the colon
}

TEST(PageRules, FtpFileNamesMustEndInJpg)
{
    for (const char* good : {"cam.JPG", "cam.jpg", "Cam.JpG", "a.b.jpg", "dir/x.jpg", ".jpg"})
        EXPECT_TRUE(HasJpgExtension(QString::fromLatin1(good))) << good;
    for (const char* bad :
         {"cam.png", "cam", "cam.jpeg", "cam.jpg.png", "x.jpg/cam", "jpg", "cam.jpg ", ""})
        EXPECT_FALSE(HasJpgExtension(QString::fromLatin1(bad))) << bad;
}

TEST(PageRules, UpDownArrowsMoveTowardTheLastValue)
{
    CUpDownEdit reversed;
    reversed.setUpDownRange(999, 0);
    reversed.setNumber(5);
    reversed.stepBy(1); // the up arrow
    EXPECT_EQ(reversed.edit()->text(), "4");
    reversed.stepBy(-10);
    EXPECT_EQ(reversed.edit()->text(), "14");
    reversed.setNumber(1);
    reversed.stepBy(3);
    EXPECT_EQ(reversed.edit()->text(), "0"); // stops at the end of the range
    reversed.edit()->setText(QStringLiteral("junk"));
    reversed.stepBy(-1);
    EXPECT_EQ(reversed.edit()->text(), "999"); // from the first value when the text is no number

    CUpDownEdit rate;
    rate.setUpDownRange(1, 5000);
    rate.setNumber(25);
    rate.stepBy(1);
    EXPECT_EQ(rate.edit()->text(), "26");
    EXPECT_EQ(rate.leadingNumber(), 26);
    rate.edit()->setText(QStringLiteral("12x"));
    EXPECT_EQ(rate.leadingNumber(), 12);
}

TEST(PageRules, TheAutostartCommandIsThePathQuotedWhenItMustBe)
{
    EXPECT_EQ(AutostartCommand("/usr/bin/vistrel"), "/usr/bin/vistrel");
    EXPECT_EQ(AutostartCommand("/opt/my cams/vistrel"), "\"/opt/my cams/vistrel\"");
    EXPECT_EQ(AutostartCommand("/opt/a\"b$c\\d`e/vistrel"), "\"/opt/a\\\"b\\$c\\\\d\\`e/vistrel\"");
    EXPECT_EQ(AutostartCommand("/opt/100%/vistrel"), "/opt/100%%/vistrel");
    EXPECT_EQ(AutostartCommand("/opt/it's/vistrel"), "\"/opt/it's/vistrel\"");
}

// One entry per settings file, starting the program with that file's name.
TEST(PageRules, EachSettingsFileHasAnAutostartEntryOfItsOwn)
{
    test::TempDir dir;
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir.path()};
    const std::string folder = dir.path() + "/vistrel/";
    struct Case {
        std::string settingsPath;
        std::string name;
        std::string command;
        std::string entry;
    };
    const std::string hashed = AutostartEntryPath("my cam");
    const std::vector<Case> cases = {
        {folder + "vistrel.ini", "", "/usr/bin/vistrel", "vistrel.desktop"},
        {folder + "cam.ini", "cam", "/usr/bin/vistrel cam", "vistrel-cam.desktop"},
        {folder + "my cam.ini", "my cam", "/usr/bin/vistrel \"my cam\"",
         hashed.substr(hashed.rfind('/') + 1)},
        {"/srv/cams/porch.ini", "/srv/cams/porch", "/usr/bin/vistrel /srv/cams/porch", ""},
    };
    std::set<std::string> entries;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settingsPath);
        EXPECT_EQ(SettingsNameOf(c.settingsPath), c.name);
        EXPECT_EQ(AutostartCommand("/usr/bin/vistrel", c.name), c.command);
        const std::string entry = AutostartEntryPath(c.name);
        EXPECT_EQ(entry.rfind(dir.path() + "/autostart/vistrel", 0), 0u) << entry;
        if (!c.entry.empty()) {
            EXPECT_EQ(entry.substr(entry.rfind('/') + 1), c.entry);
        }
        entries.insert(entry);
    }
    EXPECT_TRUE(hashed.find("vistrel-my-cam-") != std::string::npos) << hashed;
    EXPECT_NE(AutostartEntryPath("my-cam"), hashed); // told apart by the hash
    EXPECT_EQ(entries.size(), cases.size());
}

} // namespace
} // namespace vistrel
