// The headless publisher as a user runs it: the real program, its exit codes and its signals.
#include "ChildProcess.h"
#include "RealFtpServers.h"
#include "TestSupport.h"
#include "config/SettingsFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>

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
