#include "platform/ReplaceFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;
using vistrel::test::writeFile;

namespace {

// Names in dir other than the given ones (temporary files left behind).
std::vector<std::string> strays(const std::string& dir, const std::vector<std::string>& known)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end())
            out.push_back(name);
    }
    return out;
}

} // namespace

// (A copy that fails half-way is tested where it matters: the local archive on a full disk.)
TEST(ReplaceFile, CopyReplacesWholeKeepsModeFollowsLinksAndLeavesNothingBehind)
{
    test::TempDir dir;
    const auto from = dir.file("new.jpg"), to = dir.file("pub.jpg");
    test::writeFile(from, std::string(100000, 'n'));
    test::writeFile(to, "old");
    ::chmod(to.c_str(), 0644);
    struct stat before {};
    ::stat(to.c_str(), &before);
    std::string error;
    ASSERT_TRUE(CopyFileReplacing(from, to, &error)) << error;
    EXPECT_EQ(test::readFile(to), std::string(100000, 'n'));
    struct stat after {};
    ::stat(to.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino); // a new file, renamed into place
    EXPECT_EQ(after.st_mode & 07777, 0644u);

    // Through a link (a dangling one too): the link stays, its target gets the picture.
    ASSERT_EQ(::symlink("target.jpg", dir.file("link.jpg").c_str()), 0);
    ASSERT_TRUE(CopyFileReplacing(from, dir.file("link.jpg"), &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.jpg")));
    EXPECT_EQ(test::readFile(dir.file("target.jpg")).size(), 100000u);

    // A missing source says so and touches nothing.
    bool missing = false;
    EXPECT_FALSE(CopyFileReplacing(dir.file("none.jpg"), to, &error, &missing));
    EXPECT_TRUE(missing);
    EXPECT_EQ(error, "Cannot read " + dir.file("none.jpg") + ": No such file or directory");
    EXPECT_EQ(strays(dir.path(), {"new.jpg", "pub.jpg", "link.jpg", "target.jpg"}),
              std::vector<std::string>{});
}

// What a writer killed before its rename leaves is removed; everything else in the folder stays:
// other names, a write that may still be under way, and what is not a plain file.
TEST(ReplaceFile, AbandonedReplacementsOfATargetAndNothingElseAreRemoved)
{
    test::TempDir dir;
    const std::string target = dir.file("~vistrel.jpg");
    struct Entry {
        const char* name;
        bool old;
        bool removed;
    };
    const Entry entries[] = {
        {".~vistrel.jpg.vistrel-a1B2c3", true, true},
        {".~vistrel.jpg.vistrel-ZZZZZZ", true, true},
        {".~vistrel.jpg.vistrel-young1", false, false}, // another process may be writing it
        {".~vistrel.jpg.vistrel-abc", true, false},     // not six characters
        {".~vistrel.jpg.vistrel-abc-de", true, false},  // not of the alphabet
        {".live01.jpg.vistrel-a1B2c3", true, false},    // another target's
        {"~vistrel.jpg", true, false},                  // the picture itself
        {".~vistrel.jpg.backup", true, false},
    };
    for (const Entry& e : entries) {
        const std::string path = dir.file(e.name);
        writeFile(path, "x");
        if (e.old) {
            const timespec times[2] = {{std::time(nullptr) - 3600, 0},
                                       {std::time(nullptr) - 3600, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        }
    }
    // A directory and a link of the pattern are no leftovers of a writer.
    ASSERT_EQ(::mkdir(dir.file(".~vistrel.jpg.vistrel-dirABC").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("/etc/passwd", dir.file(".~vistrel.jpg.vistrel-lnkABC").c_str()), 0);

    EXPECT_EQ(RemoveAbandonedReplacements(target, 60), 2);
    for (const Entry& e : entries)
        EXPECT_EQ(!std::filesystem::exists(dir.file(e.name)), e.removed) << e.name;
    EXPECT_TRUE(std::filesystem::is_directory(dir.file(".~vistrel.jpg.vistrel-dirABC")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file(".~vistrel.jpg.vistrel-lnkABC")));
    // Without an age, the young one goes too.
    EXPECT_EQ(RemoveAbandonedReplacements(target), 1);
    EXPECT_EQ(RemoveAbandonedReplacements(dir.file("missing/x.jpg")), 0);
}
