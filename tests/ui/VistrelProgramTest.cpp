// The desktop program as a process: the end of a session (SIGTERM, SIGHUP) shuts it down as Exit
// does, without asking, so the archive counter (one cycle: 1) is saved and nothing is left
// running; it does so from a modal box as well; a second start with the same settings file ends
// at once and leaves the first one running.
#include "ChildProcess.h"
#include "TestSupport.h"

#include "config/SettingsFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

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

struct ProgramDir {
    TempDir dir;
    std::string program = dir.file("program");

    // Writes the settings file cam.ini with the given keys (section, key, value).
    void settings(const std::vector<std::tuple<const char*, const char*, int>>& keys)
    {
        std::filesystem::create_directories(program);
        SetSettingsFilePathForTesting(dir.file("cam.ini"));
        IniWriteString("Install", "Directory", program);
        for (const auto& [section, key, value] : keys)
            IniWriteInt(section, key, value);
        SetSettingsFilePathForTesting("");
    }
    bool start(ChildProcess& p, const char* log)
    {
        return p.start({binaryDir() + "/src/ui/vistrel", dir.file("cam")}, dir.file(log),
                       {"QT_QPA_PLATFORM=offscreen", "TMPDIR=" + dir.path(),
                        "XDG_CONFIG_HOME=" + dir.file("config")});
    }
};

// The dial-up notice of a file that asks for dial-up on a machine without it, and the
// first-start sheet: a session end closes them and the program ends without a click.
TEST(VistrelProgram, ASessionEndEndsTheProgramFromAModalBox)
{
    struct Case {
        const char* what;
        int signo;
        std::vector<std::tuple<const char*, const char*, int>> keys;
    };
    const std::vector<Case> cases = {
        {"dial-up notice",
         SIGTERM,
         {{"License", "INIVersion", 1005}, {"ConnectOptions", "UseLAN", 0}}},
        {"dial-up notice",
         SIGINT,
         {{"License", "INIVersion", 1005}, {"ConnectOptions", "UseLAN", 0}}},
        {"first-start sheet", SIGINT, {{"ConnectOptions", "UseLAN", 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + std::to_string(c.signo));
        ProgramDir d;
        d.settings(c.keys);
        ChildProcess p;
        ASSERT_TRUE(d.start(p, "out.log"));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the box is up
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(::kill(p.pid(), c.signo), 0);
        EXPECT_EQ(p.wait(5000), 0) << readFile(d.dir.file("out.log"));
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    }
}

TEST(VistrelProgram, OneProgramPerSettingsFile)
{
    ProgramDir d;
    d.settings({{"License", "INIVersion", 1005}, {"ConnectOptions", "UseLAN", 1}});
    ChildProcess first;
    ASSERT_TRUE(d.start(first, "first.log"));
    ASSERT_TRUE(waitUntil([&] { return fileExists(d.dir.file("cam.ini.lock")); }, 10000));
    ChildProcess second;
    ASSERT_TRUE(d.start(second, "second.log"));
    EXPECT_EQ(second.wait(5000), 0); // it asked the first one to show itself, and went
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(first.wait(0), -2) << "the request must not end the first one";
    ASSERT_EQ(::kill(first.pid(), SIGTERM), 0);
    EXPECT_EQ(first.wait(8000), 0);

    // A lock left by a program that was killed does not keep the next start out.
    ChildProcess killed;
    ASSERT_TRUE(d.start(killed, "killed.log"));
    ASSERT_TRUE(waitUntil([&] { return fileExists(d.dir.file("cam.ini.lock")); }, 10000));
    ::kill(killed.pid(), SIGKILL);
    killed.wait(5000);
    ChildProcess next;
    ASSERT_TRUE(d.start(next, "next.log"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(next.wait(0), -2) << readFile(d.dir.file("next.log"));
    ::kill(next.pid(), SIGTERM);
    EXPECT_EQ(next.wait(8000), 0);
}

} // namespace
