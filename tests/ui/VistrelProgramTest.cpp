// The desktop program as a process: the end of a session (SIGTERM, SIGHUP) shuts it down as Exit
// does, without asking, so the archive counter (one cycle: 1) is saved and nothing is left
// running.
#include "ChildProcess.h"
#include "TestSupport.h"

#include "config/SettingsFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>

using namespace vistrel;
using namespace vistrel::test;

namespace {

TEST(VistrelProgram, SessionEndSignalsShutDownAndSaveTheCounter)
{
    for (int signo : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signo);
        TempDir dir;
        const std::string program = dir.file("program");
        std::filesystem::create_directories(program);
        SetSettingsFilePathForTesting(dir.file("cam.ini"));
        IniWriteInt("License", "INIVersion", 1005);
        IniWriteInt("ConnectOptions", "UseLAN", 1);
        IniWriteString("Install", "Directory", program);
        IniWriteInt("Options", "UploadOnStart", 1);
        IniWriteInt("UploadOptions", "SaveAsFile", 1);
        IniWriteString("UploadOptions", "SaveAsFilename", dir.file("live.jpg"));
        IniWriteInt("UploadOptions", "SuppressErrors", 1);
        SetSettingsFilePathForTesting("");

        ChildProcess p;
        ASSERT_TRUE(p.start({binaryDir() + "/src/ui/vistrel", dir.file("cam")}, dir.file("out.log"),
                            {"QT_QPA_PLATFORM=offscreen", "TMPDIR=" + dir.path(),
                             "XDG_CONFIG_HOME=" + dir.file("config")}));
        // The local copy is made after the cycle has counted its picture: once it is there, the
        // count the shutdown saves must include it.
        ASSERT_TRUE(waitUntil([&] { return fileExists(dir.file("live.jpg")); }, 20000))
            << readFile(dir.file("out.log"));
        EXPECT_FALSE(readFile(dir.file("cam.ini")).find("CurrentUpload") != std::string::npos);
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(::kill(p.pid(), signo), 0);
        EXPECT_EQ(p.wait(8000), 0) << readFile(dir.file("out.log"));
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(6));
        EXPECT_NE(readFile(dir.file("cam.ini")).find("CurrentUpload=1"), std::string::npos)
            << readFile(dir.file("cam.ini"));
    }
}

} // namespace
