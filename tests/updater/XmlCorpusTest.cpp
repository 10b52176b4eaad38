// Replays the fuzzing corpus through the same checks as the fuzz target.
#include "XmlFuzzBody.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(XmlReaderCorpus, EveryInputIsHandled)
{
    const std::filesystem::path dir = vistrel::test::sourceDir() + "/tests/updater/corpus";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string bytes = vistrel::test::readFile(entry.path().string());
        SCOPED_TRACE(entry.path().filename().string());
        vistrel::test::FuzzXmlReaderOne(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                        bytes.size());
        ++count;
    }
    EXPECT_GE(count, 10);
}
