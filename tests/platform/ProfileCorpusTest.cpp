// Replays the profile fuzzing corpus (settings files the tests write, and hostile ones) through
// the same checks as the fuzz target, in every build.
#include "ProfileFuzzBody.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(ProfileCorpus, EveryInputReadsAndWritesSoundly)
{
    const vistrel::test::TempDir scratch;
    const std::filesystem::path dir = vistrel::test::sourceDir() + "/tests/platform/corpus";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string bytes = vistrel::test::readFile(entry.path().string());
        EXPECT_TRUE(
            vistrel::test::FuzzProfileOne(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                          bytes.size(), scratch.file("replay.ini")))
            << entry.path().filename().string();
        ++count;
    }
    EXPECT_GE(count, 15);
}
