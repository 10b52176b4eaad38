// The headless publisher as a user runs it: the real program, its exit codes and its signals.
#include "ChildProcess.h"
#include "RealFtpServers.h"
#include "TestSupport.h"
#include "config/SettingsFile.h"
#include "imaging/codec/ImgLib.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>

using namespace vistrel;
using namespace vistrel::test;

namespace {

class Vistreld : public ::testing::Test {
  protected:
    TempDir dir;
    std::string ini;
    std::string out;

    void SetUp() override
    {
        ini = dir.file("cam.ini");
        out = dir.file("out.log");
        std::filesystem::create_directories(dir.file("program"));
        SetSettingsFilePathForTesting(ini);
        IniWriteInt("License", "INIVersion", 1005);
        IniWriteInt("ConnectOptions", "UseLAN", 1);
        IniWriteString("Install", "Directory", dir.file("program"));
        IniWriteString("UploadOptions", "SaveAsFilename", dir.file("vistrel.jpg"));
    }
    void TearDown() override { SetSettingsFilePathForTesting(""); }

    void useServer(int port, const std::string& password = "secret")
    {
        IniWriteInt("UploadOptions", "FTPUpload", 1);
        IniWriteString("UploadOptions", "FTPServer", "127.0.0.1");
        IniWriteInt("UploadOptions", "FTPPort", port);
        IniWriteString("UploadOptions", "FTPUsername", "cam");
        IniWritePassword("UploadOptions", "FTPPassword", password);
        IniWriteInt("UploadOptions", "FTPTimeOut", 5);
    }

    std::vector<std::string> env()
    {
        return {"XDG_CONFIG_HOME=" + dir.file("config"), "TMPDIR=" + dir.path(),
                "QT_QPA_PLATFORM=offscreen", "LC_ALL=C.UTF-8"};
    }
    bool launch(ChildProcess& p, std::vector<std::string> args)
    {
        args.insert(args.begin(), binaryDir() + "/src/app/vistreld");
        return p.start(args, out, env());
    }
    // Runs vistreld to its end; returns the exit status.
    int run(std::vector<std::string> args, int timeoutMs = 30000)
    {
        ChildProcess p;
        if (!launch(p, std::move(args)))
            return -100;
        return p.wait(timeoutMs);
    }
    std::string output() { return readFile(out); }
};

} // namespace

TEST_F(Vistreld, OptionsHelpVersionAndRefusals)
{
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(output().find("Usage: vistreld [--config NAME]"), std::string::npos);
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_NE(output().find("vistreld "), std::string::npos);
    EXPECT_EQ(run({"--frobnicate"}), 2);
    EXPECT_NE(output().find("vistreld: unknown option --frobnicate (try --help)"),
              std::string::npos);
}

// The headless publisher must start where there is no desktop at all: it never loads Qt Widgets.
TEST_F(Vistreld, DoesNotLinkQtWidgets)
{
    const std::string listing = dir.file("ldd.txt");
    ASSERT_EQ(std::system(("ldd " + binaryDir() + "/src/app/vistreld > " + listing).c_str()), 0);
    const std::string libraries = readFile(listing);
    EXPECT_NE(libraries.find("libQt6Gui"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt6Widgets"), std::string::npos) << libraries;
}

TEST_F(Vistreld, OnceWithoutFtpMakesTheLocalCopyAndExitsZero)
{
    EXPECT_EQ(run({"--once", "--config", dir.file("cam")}), 0) << output();
    const std::string jpeg = readFile(dir.file("vistrel.jpg"));
    ASSERT_GT(jpeg.size(), 100u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_NE(output().find("status: Capturing Image..."), std::string::npos) << output();
    EXPECT_NE(output().find("device: Test Pattern"), std::string::npos);
    EXPECT_EQ(IniReadInt("UploadOptions", "CurrentUpload", -1), 1); // saved at shutdown
}

TEST_F(Vistreld, OnceReportsAFailedUploadWithStatusOne)
{
    useServer(freeLoopbackPort()); // nothing listens there
    EXPECT_EQ(run({"--once", "--config", dir.file("cam")}), 1);
    EXPECT_NE(output().find("FTP Error: Unable to connect to server"), std::string::npos)
        << output();
}

TEST_F(Vistreld, OncePublishesToARealServer)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    useServer(server.port());
    EXPECT_EQ(run({"--once", "--config", dir.file("cam")}), 0) << output();
    EXPECT_EQ(readFile(server.root() + "/vistrel.jpg"), readFile(dir.file("program/~vistrel.jpg")));
}

TEST_F(Vistreld, CheckFtpShowsTheConversationWithoutPasswords)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "s3cret-pass")) << server.error();
    writeFile(server.root() + "/hello.txt", "hi");
    useServer(server.port(), "s3cret-pass");
    EXPECT_EQ(run({"--check-ftp", "--config", dir.file("cam")}), 0) << output();
    const std::string o = output();
    EXPECT_NE(o.find("USER cam"), std::string::npos) << o;
    EXPECT_NE(o.find("PASS ********"), std::string::npos);
    EXPECT_EQ(o.find("s3cret-pass"), std::string::npos);
    EXPECT_NE(o.find("hello.txt"), std::string::npos);
    EXPECT_NE(o.find("FTP check passed"), std::string::npos);

    // A password stored from standard input, as a headless machine sets it up.
    writeFile(dir.file("pw"), "wrong\n");
    ChildProcess p;
    ASSERT_TRUE(p.start({"/bin/sh", "-c",
                         binaryDir() + "/src/app/vistreld --config " + dir.file("cam") +
                             " --set-password ftp < " + dir.file("pw")},
                        out, env()));
    EXPECT_EQ(p.wait(10000), 0) << output();
    EXPECT_EQ(IniReadPassword("UploadOptions", "FTPPassword"), "wrong");
    EXPECT_EQ(run({"--check-ftp", "--config", dir.file("cam")}), 1);
    EXPECT_NE(output().find("FTP check failed: log-on failed: 530"), std::string::npos) << output();
}

TEST_F(Vistreld, SignalsCaptureReloadAndStop)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    useServer(server.port());
    ChildProcess p;
    ASSERT_TRUE(launch(p, {"--config", dir.file("cam")}));
    ASSERT_TRUE(waitUntil(
        [&] { return output().find("device: Test Pattern") != std::string::npos; }, 10000))
        << output();

    ::kill(p.pid(), SIGUSR1);
    ASSERT_TRUE(waitUntil([&] { return fileExists(server.root() + "/vistrel.jpg"); }, 10000))
        << output();

    // Re-read the settings: the next picture goes to another name.
    IniWriteString("UploadOptions", "FTPFilename", "other.jpg");
    ::kill(p.pid(), SIGHUP);
    ASSERT_TRUE(waitUntil([&] { return output().find("SIGHUP") != std::string::npos; }, 5000));
    ::kill(p.pid(), SIGUSR1);
    ASSERT_TRUE(waitUntil([&] { return fileExists(server.root() + "/other.jpg"); }, 10000))
        << output();

    const auto t0 = std::chrono::steady_clock::now();
    ::kill(p.pid(), SIGTERM);
    EXPECT_EQ(p.wait(6000), 0) << output();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(6));
    // Re-reading counts as applying the Capture page, which resets a counter that has reached
    // the archive interval (0 here): one cycle has counted since.
    EXPECT_EQ(IniReadInt("UploadOptions", "CurrentUpload", -1), 1);
    EXPECT_NE(output().find("SIGTERM: shutting down"), std::string::npos);
}

TEST_F(Vistreld, ASettingsPathThatIsNoFileIsRefusedAtOnce)
{
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(run({"--once", "--config", dir.file("fifo")}, 10000), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_NE(output().find("vistreld: " + dir.file("fifo.ini") + " is not a regular file"),
              std::string::npos)
        << output();
}

TEST_F(Vistreld, TermDuringTheLeadTimeEndsAtOnce)
{
    IniWriteInt("DeviceOptions", "DisablePreview", 1);
    IniWriteInt("DeviceOptions", "PreviewLeadTime", 30);
    IniWriteInt("Options", "UploadOnStart", 1);
    ChildProcess p;
    ASSERT_TRUE(launch(p, {"--config", dir.file("cam")}));
    ASSERT_TRUE(waitUntil(
        [&] { return output().find("status: Capturing Image...") != std::string::npos; }, 10000))
        << output();
    const auto t0 = std::chrono::steady_clock::now();
    ::kill(p.pid(), SIGTERM);
    EXPECT_EQ(p.wait(10000), 0) << output();
    // Not the 5 s that shutdown grants a worker before it abandons it: the worker itself ended.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3)) << output();
}

TEST_F(Vistreld, TwoInstancesSideBySideNeverMixTheirPictures)
{
    // Two cameras, two settings files, one folder to start from and no Install/Directory: each
    // instance works in a folder of its own and publishes only its own frames.
    struct Instance {
        std::string name;
        int width, height;
        std::string log;
        int failures = 0;
        int wrongPictures = 0;
    };
    Instance instances[] = {{"front", 1920, 1080, dir.file("front.log")},
                            {"back", 160, 120, dir.file("back.log")}};
    for (const Instance& in : instances) {
        writeFile(dir.file(in.name + ".ini"),
                  "[License]\nINIVersion=1005\n[ConnectOptions]\nUseLAN=1\n"
                  "[ImageFormat]\nSize=40\nWidth=" +
                      std::to_string(in.width) + "\nHeight=" + std::to_string(in.height) +
                      "\nPlanes=1\nBitCount=24\n[UploadOptions]\nSaveAsFilename=" +
                      dir.file(in.name + ".jpg") + "\n");
    }
    constexpr int kCycles = 100;
    auto runCycles = [&](Instance& in) {
        for (int i = 0; i < kCycles; ++i) {
            ChildProcess p;
            if (!p.start(
                    {binaryDir() + "/src/app/vistreld", "--once", "--config", dir.file(in.name)},
                    in.log, env()) ||
                p.wait(30000) != 0) {
                ++in.failures;
                continue;
            }
            unsigned w = 0, h = 0;
            const RgbImage picture = ImgLibReadRGBFromJPG(dir.file(in.name + ".jpg"), w, h);
            in.wrongPictures += !picture || w != unsigned(in.width) || h != unsigned(in.height);
        }
    };
    const auto t0 = std::chrono::steady_clock::now();
    std::thread front(runCycles, std::ref(instances[0]));
    std::thread back(runCycles, std::ref(instances[1]));
    front.join();
    back.join();
    std::printf("two instances: %d cycles each in %.1f s\n", kCycles,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

    std::set<std::string> folders;
    for (const Instance& in : instances) {
        EXPECT_EQ(in.failures, 0) << in.name << ": " << readFile(in.log);
        EXPECT_EQ(in.wrongPictures, 0) << in.name;
        // The working picture is in the instance's own folder, and is its own.
        const std::string log = readFile(in.log);
        const auto at = log.find("working folder ");
        ASSERT_NE(at, std::string::npos) << log;
        const std::string folder = log.substr(at + 15, log.find('\n', at) - at - 15);
        folders.insert(folder);
        unsigned w = 0, h = 0;
        EXPECT_TRUE(ImgLibReadRGBFromJPG(folder + "~vistrel.jpg", w, h)) << folder;
        EXPECT_EQ(w, unsigned(in.width)) << folder;
    }
    EXPECT_EQ(folders.size(), 2u);
}
