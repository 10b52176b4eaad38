#include "upload/DatedNames.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <utime.h>

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

std::tm at(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    ::mktime(&t); // the weekday and the day of the year
    return t;
}

} // namespace

TEST(DatedNames, NamesFoldersAndWhatThePatternCouldHaveMade)
{
    const std::tm when = at(2026, 12, 8, 14, 5, 9);
    const struct {
        const char* pattern;
        bool remote;
        const char* name; // "" refused
    } names[] = {
        {"cam/%Y/%m/%d/%H%M%S.jpg", false, "cam/2026/12/08/140509.jpg"},
        {"/srv/cam/%F_%H.jpg", false, "/srv/cam/2026-12-08_14.jpg"},
        {"/srv/cam/%F_%H.jpg", true, ""}, // a remote name stays below the upload directory
        {"cam/../../etc/%H.jpg", false, ""},
        {"cam/%Y/", false, ""},
        {"", false, ""},
    };
    for (const auto& n : names)
        EXPECT_EQ(DatedName(n.pattern, when, n.remote), n.name) << n.pattern;
    EXPECT_EQ(DatedFolders("cam/2026/12/x.jpg"),
              (std::vector<std::string>{"cam", "cam/2026", "cam/2026/12"}));
    EXPECT_EQ(DatedFolders("/srv/x.jpg"), (std::vector<std::string>{"/srv"}));
    EXPECT_EQ(DatedRoot("cam/web/%Y/%m.jpg"), "cam/web/");
    EXPECT_EQ(DatedRoot("%Y/x.jpg"), "");
    EXPECT_EQ(DatedRoot("fixed.jpg"), "");

    const std::string pattern = "cam/%Y/%m/%d/%H%M%S.jpg";
    const struct {
        const char* path;
        bool made;
    } matches[] = {
        {"cam/2026/12/08/140509.jpg", true},  {"cam/2026/12/08/14059.jpg", false},
        {"cam/2026/12/08/140509.png", false}, {"cam/2026/12/08/notes.txt", false},
        {"cam/2026/12/140509.jpg", false},    {"other/2026/12/08/140509.jpg", false},
        {"cam/2026/12/08/1405x9.jpg", false},
    };
    for (const auto& m : matches)
        EXPECT_EQ(MatchesDatedPattern(pattern, m.path), m.made) << m.path;
    EXPECT_TRUE(MatchesDatedPattern("%d-%b-%Y %H.%M (%a).jpg", "08-Dec-2026 14.05 (Tue).jpg"));
    EXPECT_TRUE(MatchesDatedPattern("x%e.jpg", "x 8.jpg"));
    EXPECT_FALSE(MatchesDatedPattern("snap[%H].jpg", "snapX.jpg"));
}

TEST(DatedNames, PruningRemovesOnlyThePatternsOwnCopiesByAgeOrCount)
{
    test::TempDir dir;
    const std::string base = dir.path() + "/";
    const std::string pattern = "cam/%Y/%m/%d/%H%M%S.jpg";
    const std::time_t now = 1'800'000'000;
    // Copies made day by day, the oldest first, and files the pattern did not make beside them.
    auto make = [&](const std::string& relative, int daysAgo) {
        const std::string path = base + relative;
        fs::create_directories(fs::path(path).parent_path());
        test::writeFile(path, "x");
        const utimbuf times{now - daysAgo * 86400, now - daysAgo * 86400};
        ::utime(path.c_str(), &times);
    };
    make("cam/2026/12/01/120000.jpg", 7);
    make("cam/2026/12/05/120000.jpg", 3);
    make("cam/2026/12/07/120000.jpg", 1);
    make("cam/2026/12/08/120000.jpg", 0);
    make("cam/2026/12/01/notes.txt", 30);
    make("cam/old.jpg", 30);
    make("cam/2026/12/05/12000.jpg", 30);
    fs::create_symlink(base + "cam/old.jpg", base + "cam/2026/12/05/130000.jpg");

    // By age: more than two days old goes; other files and the link stay.
    EXPECT_EQ(PruneDatedCopies(base, pattern, 2, 0, now), 2);
    EXPECT_FALSE(fs::exists(base + "cam/2026/12/01/120000.jpg"));
    EXPECT_TRUE(fs::exists(base + "cam/2026/12/01/notes.txt"));
    EXPECT_FALSE(fs::exists(base + "cam/2026/12/05/120000.jpg"));
    EXPECT_TRUE(fs::exists(base + "cam/old.jpg"));
    EXPECT_TRUE(fs::exists(base + "cam/2026/12/05/12000.jpg"));
    EXPECT_TRUE(fs::is_symlink(base + "cam/2026/12/05/130000.jpg"));

    // By count: the newest one stays, and the folder left empty goes with its copy.
    EXPECT_EQ(PruneDatedCopies(base, pattern, 0, 1, now), 1);
    EXPECT_TRUE(fs::exists(base + "cam/2026/12/08/120000.jpg"));
    EXPECT_FALSE(fs::exists(base + "cam/2026/12/07"));
    EXPECT_TRUE(fs::exists(base + "cam/2026/12"));
    EXPECT_EQ(PruneDatedCopies(base, pattern, 0, 0, now), 0); // no limit: nothing goes
}
