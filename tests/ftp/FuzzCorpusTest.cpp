#include "fuzz/DataReplyFuzz.h"
#include "fuzz/ReplyReaderFuzz.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vistrel::test;

// The fuzz corpus of the reply reader, replayed in every build.
TEST(ReplyReaderCorpus, EveryInputReadsSoundly)
{
    const std::string dir = sourceDir() + "/tests/ftp/corpus";
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string bytes = readFile(entry.path().string());
        EXPECT_TRUE(FuzzReplyReader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
            << entry.path();
        ++inputs;
    }
    EXPECT_GE(inputs, 10);
}

// The corpus of the PASV and EPSV parsers.
TEST(DataReplyCorpus, EveryParsedAddressIsUsable)
{
    const std::string dir = sourceDir() + "/tests/ftp/corpus-data-reply";
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string bytes = readFile(entry.path().string());
        EXPECT_TRUE(FuzzDataReplies(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
            << entry.path();
        ++inputs;
    }
    EXPECT_GE(inputs, 10);
}
