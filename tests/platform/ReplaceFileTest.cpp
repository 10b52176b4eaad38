#include "platform/ReplaceFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;

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
