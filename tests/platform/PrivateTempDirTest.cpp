#include "platform/PrivateTempDir.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;

TEST(PrivateTempDir, IsCreatedClosedToOthersAndFilesAreUnique)
{
    test::TempDir base;
    test::ScopedEnv env("TMPDIR", base.path());
    const std::string dir = PrivateTempDirectory();
    ASSERT_EQ(dir, base.path() + "/vistrel-" + std::to_string(::getuid()));
    struct stat st {};
    ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const std::string a = CreatePrivateTempFile("VSI");
    const std::string b = CreatePrivateTempFile("VSI");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(dir + "/VSI", 0), 0u);
    EXPECT_TRUE(test::fileExists(a));
}

TEST(PrivateTempDir, RefusesAPlantedSymlinkAndClosesAnOpenDirectory)
{
    test::TempDir base;
    test::ScopedEnv env("TMPDIR", base.path());
    const std::string name = base.path() + "/vistrel-" + std::to_string(::getuid());

    test::TempDir elsewhere;
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), name.c_str()), 0);
    std::string error;
    EXPECT_EQ(PrivateTempDirectory(&error), "");
    EXPECT_NE(error.find("not a directory owned by this user"), std::string::npos);
    EXPECT_EQ(CreatePrivateTempFile("x", &error), "");
    ::unlink(name.c_str());

    ASSERT_EQ(::mkdir(name.c_str(), 0777), 0);
    ::chmod(name.c_str(), 0777);
    EXPECT_EQ(PrivateTempDirectory(), name);
    struct stat st {};
    ::lstat(name.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}
