// A thousand cycles in a row against a real server: every picture arrives, nothing leaks.
#include "CycleFixture.h"

#include "RealFtpServers.h"
#include "platform/PrivateTempDir.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

using namespace vistrel;
using namespace vistrel::test;
namespace fs = std::filesystem;

class Soak : public CycleFixture {};

TEST_F(Soak, AThousandCyclesKeepDescriptorsAndMemoryFlat)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    useServer(server.port());
    set("UploadOptions", "PassiveMode", 1);
    set("UploadOptions", "ArchiveInterval", 10);
    set("UploadOptions", "NumberOfArchives", 3);
    start();

    constexpr int kWarmUp = 20;
    constexpr int kCycles = 1000;
    int fdsAfterWarmUp = 0;
    long rssAfterWarmUp = 0;
    const auto t0 = std::chrono::steady_clock::now();
    std::string previous;
    for (int i = 0; i < kCycles; ++i) {
        ASSERT_EQ(cycle(), 1) << "cycle " << i << ": " << hub->LastCapture();
        // Every picture arrives: the one on the server is the one just made.
        const std::string picture = readFile(program + "~vistrel.jpg");
        ASSERT_EQ(readFile(server.root() + "/vistrel.jpg"), picture) << "cycle " << i;
        ASSERT_NE(picture, previous) << "cycle " << i;
        previous = picture;
        if (i == kWarmUp - 1) {
            fdsAfterWarmUp = openFdCount();
            rssAfterWarmUp = residentKiB();
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const int fds = openFdCount();
    const long rss = residentKiB();
    std::printf("soak: %d cycles in %.1f s (%.1f ms a cycle); fds %d -> %d; RSS %ld -> %ld KiB\n",
                kCycles, seconds, 1000.0 * seconds / kCycles, fdsAfterWarmUp, fds, rssAfterWarmUp,
                rss);
    EXPECT_LE(fds, fdsAfterWarmUp);
    EXPECT_LT(rss - rssAfterWarmUp, 8 * 1024); // no growth beyond allocator noise

    // No temporary file is left anywhere: not on the server, not in the private folder.
    std::vector<std::string> remote;
    for (const auto& e : fs::directory_iterator(server.root()))
        remote.push_back(e.path().filename().string());
    std::sort(remote.begin(), remote.end());
    EXPECT_EQ(remote, (std::vector<std::string>{"vistrel.jpg", "vistrel01.jpg", "vistrel02.jpg",
                                                "vistrel03.jpg"}));
    for (const auto& e : fs::directory_iterator(PrivateTempDirectory()))
        EXPECT_NE(e.path().filename().string().rfind("VSI", 0), 0u) << e.path();
}
