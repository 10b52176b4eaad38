// The fuzz corpora of what network cameras send and the URLs they are given, replayed in every
// build.
#include "fuzz/CameraInputFuzz.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vistrel::test;

TEST(CameraInputCorpus, EveryInputKeepsItsProperties)
{
    struct Corpus {
        const char* folder;
        bool (*body)(const uint8_t*, size_t);
    };
    for (const Corpus& c :
         {Corpus{"multipart", &FuzzMultipartReader}, Corpus{"url", &FuzzUrlMasking}}) {
        const std::string dir = sourceDir() + "/tests/capture/corpus/" + c.folder;
        int inputs = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string bytes = readFile(entry.path().string());
            EXPECT_TRUE(c.body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
                << entry.path();
            ++inputs;
        }
        EXPECT_GE(inputs, 8) << dir;
    }
}
