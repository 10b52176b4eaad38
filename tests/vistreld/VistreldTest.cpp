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
#include <cstring>
#include <filesystem>
#include <functional>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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

    // Where the program looks for the network-camera module when set ("" = its own folder).
    std::optional<std::string> netcamDir;
    // JOURNAL_STREAM, when set.
    std::optional<std::string> journal;
    std::vector<std::string> extraEnv;

    std::vector<std::string> env()
    {
        // As a service starts it: no display, no Qt platform, no runtime directory (a name
        // alone removes the variable).
        std::vector<std::string> vars = {"XDG_CONFIG_HOME=" + dir.file("config"),
                                         "TMPDIR=" + dir.path(),
                                         "LC_ALL=C.UTF-8",
                                         "QT_QPA_PLATFORM",
                                         "XDG_RUNTIME_DIR",
                                         "DISPLAY",
                                         "WAYLAND_DISPLAY"};
        if (netcamDir)
            vars.push_back("VISTREL_NETCAM_DIR=" + *netcamDir);
        if (journal)
            vars.push_back("JOURNAL_STREAM=" + *journal);
        vars.insert(vars.end(), extraEnv.begin(), extraEnv.end());
        return vars;
    }
    bool launch(ChildProcess& p, std::vector<std::string> args)
    {
        args.insert(args.begin(), binaryDir() + "/src/vistreld/vistreld");
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
    // Whether the log shows text within timeoutMs.
    bool outputShows(const std::string& text, int timeoutMs)
    {
        return waitUntil([&] { return output().find(text) != std::string::npos; }, timeoutMs);
    }
    // run() with an empty log first, so output() is this run's alone.
    int runFresh(std::vector<std::string> args, int timeoutMs = 30000)
    {
        std::remove(out.c_str());
        return run(std::move(args), timeoutMs);
    }
};

// A program run on a pseudo-terminal, as a user at a keyboard runs it.
class Terminal {
  public:
    ~Terminal()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env)
    {
        int slave = -1;
        if (::openpty(&m_master, &slave, nullptr, nullptr, nullptr) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setsid();
            ::ioctl(slave, TIOCSCTTY, 0);
            for (int fd = 0; fd < 3; ++fd)
                ::dup2(slave, fd);
            for (const auto& e : env)
                ::putenv(const_cast<char*>(e.c_str()));
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(slave);
        return m_pid > 0;
    }
    // Reads what the program writes until text has appeared (at most 10 s).
    bool waitFor(const std::string& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_screen.find(text, m_seen) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            readSome(100);
        }
        m_seen = m_screen.find(text, m_seen) + text.size();
        return true;
    }
    void type(const std::string& keys)
    {
        [[maybe_unused]] auto n = ::write(m_master, keys.data(), keys.size());
    }
    // Reads the rest and returns the exit status.
    int wait()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            readSome(50);
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                while (readSome(50)) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return -2;
    }
    const std::string& screen() const { return m_screen; }

  private:
    bool readSome(int timeoutMs)
    {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buf[512];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            return false;
        m_screen.append(buf, static_cast<std::size_t>(n));
        return true;
    }
    int m_master = -1;
    pid_t m_pid = -1;
    std::string m_screen;
    std::size_t m_seen = 0;
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

// The headless publisher must start where there is no desktop at all: it loads neither Qt Gui
// nor Qt Widgets (it draws its stamps with fontconfig and FreeType).
TEST_F(Vistreld, LinksNeitherQtGuiNorQtWidgets)
{
    const std::string listing = dir.file("ldd.txt");
    ASSERT_EQ(std::system(("ldd " + binaryDir() + "/src/vistreld/vistreld > " + listing).c_str()),
              0);
    const std::string libraries = readFile(listing);
    EXPECT_EQ(libraries.find("libQt6Gui"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt6Widgets"), std::string::npos) << libraries;
    EXPECT_NE(libraries.find("libfreetype"), std::string::npos) << libraries;
}

// Network cameras live in a module loaded only when one is used. A program that uses none never
// touches it; one that does finds it next to itself, or says what to install.
TEST_F(Vistreld, NetworkCamerasAndTheirModule)
{
    IniWriteString("NetworkCameras", "Camera1Name", "Porch");
    IniWriteString("NetworkCameras", "Camera1URL",
                   "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/snap.jpg");
    std::filesystem::create_directories(dir.file("broken"));
    std::filesystem::create_directories(dir.file("empty"));
    writeFile(dir.file("broken/netcam.so"), "not a module");

    // The test pattern chosen: the broken module is never opened.
    netcamDir = dir.file("broken");
    IniWriteInt("ImageFormat", "CaptureDevice", 1);
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 0) << output();
    EXPECT_EQ(output().find("module"), std::string::npos) << output();
    // Listing the devices asks each one, so it opens the module and says why it cannot.
    EXPECT_EQ(runFresh({"--list-devices", "--config", dir.file("cam")}), 0);
    EXPECT_NE(output().find("(cannot say: The network camera module " + dir.file("broken") +
                            "/netcam.so cannot be loaded ("),
              std::string::npos)
        << output();
    EXPECT_NE(output().find("); reinstall the vistrel-netcam package.)"), std::string::npos);

    // No module, the network camera chosen: the connect failure says what to install.
    netcamDir = dir.file("empty");
    IniWriteInt("ImageFormat", "CaptureDevice", 0);
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 1);
    EXPECT_NE(output().find("message: Unable to connect to video driver! / The requested video "
                            "driver is either not installed or is in use by another program. / "
                            "Network cameras need the vistrel-netcam package, which is not "
                            "installed (" +
                            dir.file("empty") + "/netcam.so is missing).\n"),
              std::string::npos)
        << output();

    // The build tree's module, found from the program's own folder: the camera is asked (it does
    // not answer, and keeps the size it would start with).
    netcamDir = "";
    EXPECT_EQ(runFresh({"--list-devices", "--config", dir.file("cam")}), 0);
    EXPECT_NE(output().find("Porch (http://127.0.0.1:"), std::string::npos) << output();
    EXPECT_EQ(output().find("module"), std::string::npos) << output();
}

TEST_F(Vistreld, OnceWithoutFtpMakesTheLocalCopyAndExitsZero)
{
    EXPECT_EQ(run({"--once", "--config", dir.file("cam")}), 0) << output();
    const std::string jpeg = readFile(dir.file("vistrel.jpg"));
    ASSERT_GT(jpeg.size(), 100u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_NE(output().find("status: Capturing Image..."), std::string::npos) << output();
    EXPECT_NE(output().find("device: Test Pattern"), std::string::npos);
    EXPECT_EQ(output().find("QStandardPaths"), std::string::npos) << output(); // Qt wants nothing
    EXPECT_EQ(IniReadInt("UploadOptions", "CurrentUpload", -1), 1);            // saved at shutdown
}

TEST_F(Vistreld, AMissingChosenCameraFailsTheCycleAndPublishesNothing)
{
    // The camera chosen by its stable name is unplugged: the test pattern, which the position
    // would now give, is not published in its place.
    const std::string gone = "/dev/v4l/by-id/usb-Gone_Camera-video-index0";
    IniWriteString("ImageFormat", "CaptureDevicePath", gone);
    IniWriteInt("ImageFormat", "CaptureDevice", 0);
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 1) << output();
    EXPECT_FALSE(std::filesystem::exists(dir.file("vistrel.jpg")));
    const std::string o = output();
    EXPECT_NE(o.find("warning: camera: " + gone + " (ImageFormat/CaptureDevicePath=" + gone +
                     ") is not there: every cycle fails at the capture"),
              std::string::npos)
        << o;
    EXPECT_NE(o.find("the chosen camera " + gone + " is not there"), std::string::npos) << o;
    EXPECT_EQ(o.find("device: Test Pattern"), std::string::npos) << o;
    EXPECT_EQ(runFresh({"--list-devices", "--config", dir.file("cam")}), 0);
    EXPECT_NE(output().find("ImageFormat/CaptureDevicePath=" + gone + " in " + dir.file("cam.ini") +
                            " chooses no driver"),
              std::string::npos)
        << output();

    // Chosen by name, the test pattern is published.
    IniWriteString("ImageFormat", "CaptureDevicePath", "Test Pattern");
    IniWriteInt("ImageFormat", "CaptureDevice", 5);
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 0) << output();
    EXPECT_NE(output().find("plan: camera: Test Pattern (ImageFormat/CaptureDevicePath=Test "
                            "Pattern), 320 x 240"),
              std::string::npos)
        << output();
    EXPECT_TRUE(std::filesystem::exists(dir.file("vistrel.jpg")));
}

TEST_F(Vistreld, WidthAndHeightAloneChooseTheSize)
{
    struct Case {
        int width, height;
        std::string plan;    // the size the plan reports
        std::string message; // "" when the size is offered
    };
    const Case cases[] = {
        {1280, 720, "1280 x 720", ""},
        {1000, 700, "1280 x 720",
         "message: Test Pattern does not offer 1000 x 700 (ImageFormat/Width, ImageFormat/Height);"
         " it offers 160x120 320x240 640x480 1280x720 1920x1080; it uses 1280 x 720."},
    };
    for (const Case& c : cases) {
        IniWriteInt("ImageFormat", "Width", c.width);
        IniWriteInt("ImageFormat", "Height", c.height);
        EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 0) << output();
        const std::string o = output();
        EXPECT_NE(o.find("plan: camera: Test Pattern (ImageFormat/CaptureDevice=0), " + c.plan),
                  std::string::npos)
            << o;
        EXPECT_EQ(o.find("does not offer") != std::string::npos, !c.message.empty()) << o;
        if (!c.message.empty()) {
            EXPECT_NE(o.find(c.message), std::string::npos) << o;
        }
    }
}

TEST_F(Vistreld, UnderTheJournalEveryLineHasAPriorityAndNoTime)
{
    writeFile(out, "");
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    journal = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    IniWriteString("ImageFormat", "CaptureDevicePath", "/dev/video63");
    EXPECT_EQ(run({"--once", "--config", dir.file("cam")}), 1);
    const std::string o = output();
    std::set<std::string> priorities;
    for (std::size_t at = 0; at < o.size(); at = o.find('\n', at) + 1) {
        const std::string line = o.substr(at, o.find('\n', at) - at);
        ASSERT_TRUE(line.size() > 3 && line[0] == '<' && line[2] == '>') << line;
        EXPECT_NE(line[3], '2') << line; // no date of our own
        priorities.insert(line.substr(0, 3));
    }
    EXPECT_EQ(priorities, (std::set<std::string>{"<3>", "<4>", "<6>"})) << o;
    EXPECT_NE(o.find("<4>warning: camera: /dev/video63"), std::string::npos) << o;
    EXPECT_NE(o.find("<6>plan: "), std::string::npos) << o;

    // Another stream than the journal's: today's lines.
    journal = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1);
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 1);
    EXPECT_EQ(output().find("<4>"), std::string::npos) << output();
    EXPECT_NE(output().find(" warning: camera: /dev/video63"), std::string::npos) << output();
}

TEST_F(Vistreld, RotateTurnsThePictureBeforeTheStamps)
{
    // The test pattern's colour bars fill its upper two thirds from white at the left to black
    // at the right. A quarter turn clockwise puts them on the right, white at the top.
    IniWriteInt("ImageOptions", "Stamp", 0);
    IniWriteInt("ImageOptions", "EnableMessage", 0);
    IniWriteInt("ImageOptions", "Rotate", 90);
    ASSERT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 0) << output();
    unsigned width = 0, height = 0;
    const RgbImage picture = ImgLibReadRGBFromJPG(dir.file("vistrel.jpg"), width, height);
    ASSERT_TRUE(picture);
    ASSERT_EQ(std::make_pair(width, height), std::make_pair(240u, 320u));
    // Whether the pixel is near the grey level (the picture is a JPEG).
    auto near = [&](unsigned x, unsigned y, int level) {
        const std::uint8_t* p = picture.data() + (std::size_t(y) * width + x) * 3;
        return std::abs(p[0] - level) < 24 && std::abs(p[1] - level) < 24 &&
               std::abs(p[2] - level) < 24;
    };
    EXPECT_TRUE(near(200, 20, 191)); // white, top right
    EXPECT_TRUE(near(100, 20, 191)); // the same bar across
    EXPECT_TRUE(near(200, 300, 0));  // black, bottom right
    EXPECT_FALSE(near(20, 20, 191)); // the lower third, now at the left
}

// One picture from the command line alone, as a user tries the program before setting it up:
// the options count for this run, and no settings file is made or changed.
TEST_F(Vistreld, OneOffOptionsWriteNoSettingsFile)
{
    const std::string defaultIni = dir.file("config") + "/vistrel/vistrel.ini";
    const std::string snap = dir.file("snap.jpg");
    ASSERT_EQ(runFresh({"--once", "--device", "Test Pattern", "--size", "640x480", "--title",
                        "Garden", "--timestamp", "%Y-%m-%d", "--jpeg", "60", "--output", snap}),
              0)
        << output();
    EXPECT_FALSE(std::filesystem::exists(defaultIni)) << output();
    unsigned width = 0, height = 0;
    EXPECT_TRUE(ImgLibReadRGBFromJPG(snap, width, height));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(640u, 480u));
    EXPECT_NE(output().find("creates none"), std::string::npos) << output();

    // With --config the file's other values count, and the options' keys stay as they were.
    std::filesystem::remove(snap);
    IniWriteInt("ImageOptions", "Quality", 40);
    ASSERT_EQ(runFresh({"--once", "--config", dir.file("cam"), "--jpeg", "95", "--output", snap}),
              0)
        << output();
    EXPECT_TRUE(std::filesystem::exists(snap));
    EXPECT_FALSE(std::filesystem::exists(dir.file("vistrel.jpg")));
    EXPECT_EQ(IniReadInt("ImageOptions", "Quality", 0), 40);
    EXPECT_EQ(IniReadString("UploadOptions", "SaveAsFilename", ""), dir.file("vistrel.jpg"));

    // A camera that is not there fails the run and writes nothing.
    std::filesystem::remove(snap);
    EXPECT_EQ(
        runFresh({"--once", "--device", "/dev/v4l/by-id/usb-Gone-video-index0", "--output", snap}),
        1)
        << output();
    EXPECT_FALSE(std::filesystem::exists(snap));
    EXPECT_FALSE(std::filesystem::exists(defaultIni));

    // Values that cannot be used are refused before anything runs.
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"--once", "--jpeg", "101"}, "vistreld: option --jpeg needs a quality from 1 to 100"},
        {{"--once", "--size", "big"}, "vistreld: option --size needs WIDTHxHEIGHT"},
        {{"--once", "--logo", dir.file("none.png")}, "vistreld: option --logo: "},
        {{"--once", "--output", dir.file("no/snap.jpg")}, "vistreld: option --output: the folder"},
        {{"--output", snap}, "vistreld: --device, --size, --title"},
    };
    for (const auto& [args, message] : refusals) {
        EXPECT_EQ(runFresh(args), 2) << args.back();
        EXPECT_EQ(output().rfind(message, 0), 0u) << output();
    }
    EXPECT_FALSE(std::filesystem::exists(snap));
    EXPECT_FALSE(std::filesystem::exists(defaultIni));
}

TEST_F(Vistreld, OnceReportsAFailedUploadWithStatusOneAndTheReasonOnce)
{
    auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    const int closed = freeLoopbackPort(); // nothing listens there
    useServer(closed);
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 1);
    EXPECT_EQ(count(output(), "FTP Error: Unable to connect to server"), 1) << output();
    // The reason is the last line, after the log's closing lines, so `tail -1` shows it.
    auto lastLine = [](const std::string& text) {
        const auto from = text.rfind('\n', text.size() >= 2 ? text.size() - 2 : 0);
        return text.substr(from == std::string::npos ? 0 : from + 1);
    };
    EXPECT_EQ(lastLine(output()),
              "FTP Error: Unable to connect to server (connection refused: nothing listens on "
              "127.0.0.1:" +
                  std::to_string(closed) + ")\n")
        << output();

    // A server's reply ends in a line break of its own: still one line, and no empty one.
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    useServer(server.port(), "wrong");
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 1);
    EXPECT_EQ(count(output(), "FTP Error: 530 "), 1) << output();
    EXPECT_EQ(lastLine(output()).rfind("FTP Error: 530 ", 0), 0u) << output();
    EXPECT_EQ(output().find("\n\n"), std::string::npos) << output();
}

// How the settings file is named and found, and a first start with nobody to answer the sheet.
TEST_F(Vistreld, SettingsNamesMissingFoldersAndAFirstStart)
{
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam.ini")}), 0) << output();
    EXPECT_NE(output().find("settings: " + dir.file("cam.ini") + "\n"), std::string::npos)
        << output();
    EXPECT_FALSE(fileExists(dir.file("cam.ini.ini")));

    EXPECT_EQ(runFresh({"--once", "--config", dir.file("nowhere/cam")}), 2);
    EXPECT_EQ(output(), "vistreld: the folder of the settings file " + dir.file("nowhere/cam.ini") +
                            " does not exist\n");

    const std::string fresh = dir.file("fresh.ini");
    writeFile(fresh, "[UploadOptions]\nSaveAsFilename=" + dir.file("fresh.jpg") +
                         "\n[ConnectOptions]\nUseLAN=1\n");
    std::filesystem::remove(fresh);
    EXPECT_EQ(runFresh({"--once", "--config", fresh}), 0) << output();
    const std::string o = output();
    EXPECT_NE(o.find("settings: " + fresh + " does not exist yet: a first start"),
              std::string::npos)
        << o;
    EXPECT_NE(o.find("settings: first start: nobody can answer the settings sheet here"),
              std::string::npos);
    EXPECT_NE(o.find("settings: License/INIVersion=1005 set"), std::string::npos);
    SetSettingsFilePathForTesting(fresh);
    EXPECT_EQ(IniReadInt("ImageOptions", "FontColor", -1), 16777215);
    EXPECT_EQ(IniReadInt("ImageOptions", "TimeFontColor", -1), 16777215);
    EXPECT_EQ(IniReadInt("License", "INIVersion", -1), 1005);
    // The picture of that start has its date/time stamp (bottom right) in white: the right half
    // of the first and last 20 rows (whichever way round the rows come) holds white pixels,
    // which neither the test pattern nor a black stamp draws there.
    unsigned w = 0, h = 0;
    const std::string working = o.substr(o.find("working folder ") + 15);
    const RgbImage picture =
        ImgLibReadRGBFromJPG(working.substr(0, working.find('\n')) + "~vistrel.jpg", w, h);
    ASSERT_TRUE(picture);
    int white = 0;
    for (unsigned y = 0; y < h; ++y) {
        if (y >= 20 && y < h - 20)
            continue;
        for (unsigned x = w / 2; x < w; ++x) {
            const std::uint8_t* px = picture.data() + (std::size_t(y) * w + x) * 3;
            white += px[0] > 220 && px[1] > 220 && px[2] > 220;
        }
    }
    EXPECT_GT(white, 30);

    // The second start is no first start.
    EXPECT_EQ(runFresh({"--once", "--config", fresh}), 0) << output();
    EXPECT_EQ(output().find("first start"), std::string::npos) << output();
}

TEST_F(Vistreld, ListDevicesShowsTheDriversWithTheirSizes)
{
    EXPECT_EQ(runFresh({"--list-devices", "--config", dir.file("cam")}), 0) << output();
    EXPECT_NE(output().find("index  driver"), std::string::npos) << output();
    EXPECT_NE(output().find("Test Pattern"), std::string::npos);
    EXPECT_NE(output().find("320x240"), std::string::npos);
    EXPECT_NE(output().find("ImageFormat/CaptureDevice=0 in " + dir.file("cam.ini") + " chooses "),
              std::string::npos);
}

TEST_F(Vistreld, OncePublishesToARealServer)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    useServer(server.port());
    EXPECT_EQ(run({"--once", "--config", dir.file("cam")}), 0) << output();
    EXPECT_EQ(readFile(server.root() + "/vistrel.jpg"), readFile(dir.file("program/~vistrel.jpg")));
}

// The check does on the server what a cycle does, with a probe file, and leaves nothing behind.
TEST_F(Vistreld, CheckFtpStoresRenamesAndDeletesAProbe)
{
    PyFtpdServer server;
    server.addAccount("viewer", "look", "elr");     // read-only
    server.addAccount("keeper", "keep", "elradmw"); // may store and delete, not rename
    ASSERT_TRUE(server.start("cam", "s3cret-pass")) << server.error();
    std::filesystem::create_directories(server.root() + "/webcam");
    useServer(server.port(), "s3cret-pass");
    IniWriteString("UploadOptions", "FTPDirectory", "webcam");
    auto leftOnServer = [&] {
        std::string names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(server.root()))
            if (e.is_regular_file())
                names += e.path().filename().string() + " ";
        return names;
    };

    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 0) << output();
    std::string o = output();
    EXPECT_NE(o.find("USER cam"), std::string::npos) << o;
    EXPECT_NE(o.find("PASS ********"), std::string::npos);
    EXPECT_EQ(o.find("s3cret-pass"), std::string::npos);
    for (const char* verdict :
         {"connect    ok      127.0.0.1 port ", "log on     ok      as cam\n",
          "directory  ok      webcam\n", "store      ok      vistrel-check-",
          "rename     ok      vistrel-check-", "delete     ok      vistrel-check-",
          "FTP check passed: a cycle can upload with these settings\n"})
        EXPECT_NE(o.find(verdict), std::string::npos) << verdict << "\n" << o;
    EXPECT_EQ(leftOnServer(), "");

    // A read-only account logs on and lists, but a cycle could not store: the check says so.
    IniWriteString("UploadOptions", "FTPUsername", "viewer");
    IniWritePassword("UploadOptions", "FTPPassword", "look");
    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 1) << output();
    o = output();
    EXPECT_NE(o.find("store      FAILED  vistrel-check-"), std::string::npos) << o;
    EXPECT_NE(o.find("FTP check failed at the store step: vistrel-check-"), std::string::npos);
    EXPECT_NE(o.find(".tmp: 550 "), std::string::npos) << o;
    EXPECT_EQ(leftOnServer(), "");

    // Without the right to rename, a cycle with an archive fails at its rotation.
    IniWriteString("UploadOptions", "FTPUsername", "keeper");
    IniWritePassword("UploadOptions", "FTPPassword", "keep");
    IniWriteInt("UploadOptions", "NoTempFile", 1);
    IniWriteInt("UploadOptions", "ArchiveInterval", 2);
    IniWriteInt("UploadOptions", "NumberOfArchives", 3);
    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 1) << output();
    o = output();
    EXPECT_NE(o.find("archive    FAILED  vistrel-check-"), std::string::npos) << o;
    EXPECT_NE(o.find("as the archive rotation renames: 550 "), std::string::npos) << o;
    EXPECT_NE(o.find("delete     ok"), std::string::npos) << o;
    EXPECT_EQ(leftOnServer(), "");

    // A wrong password, a port nobody listens on, a name that does not resolve.
    IniWriteString("UploadOptions", "FTPUsername", "cam");
    IniWritePassword("UploadOptions", "FTPPassword", "wrong");
    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 1);
    EXPECT_NE(output().find("FTP check failed at the log on step: 530 "), std::string::npos)
        << output();
    const int closed = freeLoopbackPort();
    IniWriteInt("UploadOptions", "FTPPort", closed);
    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 1);
    const std::string port = std::to_string(closed);
    EXPECT_NE(output().find("connect    FAILED  127.0.0.1 port " + port +
                            ": Unable to connect to server (connection refused: nothing "
                            "listens on 127.0.0.1:" +
                            port + ")\n"),
              std::string::npos)
        << output();
    IniWriteString("UploadOptions", "FTPServer", "no-such-host.invalid");
    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 1);
    EXPECT_NE(output().find("port " + port + ": Unable to connect to server (name not found: "),
              std::string::npos)
        << output();
}

// The check's steps go to standard output whether it passes or fails (the verdict is the exit
// status), and it finds a server on ::1 and says why one does not answer there.
TEST_F(Vistreld, CheckFtpOverIpv6)
{
    const int probe = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 loopback{};
    loopback.sin6_family = AF_INET6;
    loopback.sin6_addr = in6addr_loopback;
    const bool ipv6 =
        probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
    if (probe >= 0)
        ::close(probe);
    if (!ipv6)
        GTEST_SKIP() << "This machine has no IPv6 loopback address (::1); IPv6 is not tested";
    PyFtpdServer server;
    server.listenOnIpv6();
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    useServer(server.port());
    IniWriteString("UploadOptions", "FTPServer", "::1");
    IniWriteInt("UploadOptions", "PassiveMode", 1);
    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 0) << output();
    EXPECT_NE(output().find("EPSV"), std::string::npos) << output();
    EXPECT_NE(output().find("FTP check passed"), std::string::npos) << output();

    const int closed = freeLoopbackPort();
    IniWriteInt("UploadOptions", "FTPPort", closed);
    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 1);
    EXPECT_NE(output().find("(connection refused: nothing listens on [::1]:" +
                            std::to_string(closed) + ")\n"),
              std::string::npos)
        << output();
}

// A failed cycle's log line (an error) keeps the cause; the status text and the error log stay as
// they are.
TEST_F(Vistreld, AFailedCycleLogsWhyItCouldNotConnect)
{
    const int closed = freeLoopbackPort();
    useServer(closed);
    IniWriteInt("Options", "ErrorLog", 1);
    ChildProcess p;
    ASSERT_TRUE(launch(p, {"--config", dir.file("cam")}));
    ASSERT_TRUE(outputShows("device: Test Pattern", 10000)) << output();
    ::kill(p.pid(), SIGUSR1);
    const std::string line = "error: FTP Error: Unable to connect to server (connection refused: "
                             "nothing listens on 127.0.0.1:" +
                             std::to_string(closed) + ")\n";
    EXPECT_TRUE(outputShows(line, 10000)) << output();
    ::kill(p.pid(), SIGTERM);
    EXPECT_EQ(p.wait(6000), 0) << output();
    const std::string errors = readFile(dir.file("program/error.log"));
    EXPECT_NE(errors.find(" - FTP Error: Unable to connect to server\r\n"), std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("refused"), std::string::npos) << errors;
}

// A security setting that does not read as one of its choices never falls back to plain FTP:
// neither the check nor a cycle connects, so no user name or password goes out.
TEST_F(Vistreld, AnInvalidSecuritySettingRefusesEveryLogOn)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "s3cret-pass")) << server.error();
    useServer(server.port(), "s3cret-pass");
    const std::string refused = "UploadOptions/FTPSecurity=TLS is not a number: FTP log-ons are "
                                "refused until it is corrected; use 0 (plain FTP), 1 (explicit "
                                "TLS) or 2 (implicit TLS)";
    for (const std::string value : {"TLS", "3", "", "on"}) {
        SCOPED_TRACE("FTPSecurity=" + value);
        IniWriteString("UploadOptions", "FTPSecurity", value);
        EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 1) << output();
        const std::string o = output();
        EXPECT_NE(
            o.find("FTP check failed at the security step: UploadOptions/FTPSecurity=" + value),
            std::string::npos)
            << o;
        EXPECT_EQ(o.find("FTP check passed"), std::string::npos) << o;
        EXPECT_EQ(o.find("USER"), std::string::npos) << o;
    }
    // The warning at start says what the value means now; a cycle fails with the same text.
    IniWriteString("UploadOptions", "FTPSecurity", "TLS");
    EXPECT_EQ(runFresh({"--once", "--config", dir.file("cam")}), 1) << output();
    EXPECT_NE(output().find("warning: " + refused + "\n"), std::string::npos) << output();
    EXPECT_NE(output().find("FTP Error: " + refused), std::string::npos) << output();
    EXPECT_EQ(server.logs().find("USER"), std::string::npos) << server.logs();
    EXPECT_EQ(server.logs().find("PASS"), std::string::npos) << server.logs();
    EXPECT_EQ(server.logs().find("s3cret"), std::string::npos) << server.logs();
    EXPECT_FALSE(fileExists(server.root() + "/vistrel.jpg"));

    // The server's log would have shown a log-on: with plain FTP chosen, the same check logs on.
    IniWriteInt("UploadOptions", "FTPSecurity", 0);
    EXPECT_EQ(runFresh({"--check-ftp", "--config", dir.file("cam")}), 0) << output();
    EXPECT_NE(server.logs().find("USER 'cam' logged in"), std::string::npos) << server.logs();
}

// --set-password on a terminal: asked twice, nothing echoed.
TEST_F(Vistreld, SetPasswordAsksTwiceWithoutEchoOnATerminal)
{
    auto throughTerminal = [&](const std::string& first, const std::string& second,
                               std::string* screen) {
        Terminal t;
        if (!t.start({binaryDir() + "/src/vistreld/vistreld", "--config", dir.file("cam"),
                      "--set-password", "ftp"},
                     env()))
            return -100;
        if (!t.waitFor("FTP password (UploadOptions/FTPPassword): "))
            return -101;
        t.type(first + "\n");
        if (!first.empty()) {
            if (!t.waitFor("Again: ")) {
                *screen = t.screen();
                return -102;
            }
            t.type(second + "\n");
        }
        const int status = t.wait();
        *screen = t.screen();
        return status;
    };
    std::string screen;
    EXPECT_EQ(throughTerminal("t0p-secret", "t0p-secret", &screen), 0) << screen;
    EXPECT_EQ(screen.find("t0p-secret"), std::string::npos) << screen;
    EXPECT_NE(screen.find("settings: stored UploadOptions/FTPPassword"), std::string::npos);
    EXPECT_EQ(IniReadPassword("UploadOptions", "FTPPassword"), "t0p-secret");

    EXPECT_EQ(throughTerminal("one", "other", &screen), 1);
    EXPECT_NE(screen.find("vistreld: the two passwords differ; nothing was stored"),
              std::string::npos)
        << screen;
    EXPECT_EQ(throughTerminal("", "", &screen), 1);
    EXPECT_NE(screen.find("vistreld: an empty password is not stored; to remove the stored one: "
                          "vistreld --set-password ftp --clear"),
              std::string::npos)
        << screen;
    EXPECT_EQ(IniReadPassword("UploadOptions", "FTPPassword"), "t0p-secret");

    // From a pipe: one line; an empty one refused; --clear removes the password.
    auto fromPipe = [&](const std::string& input, const std::string& extra) {
        writeFile(dir.file("pw"), input);
        ChildProcess p;
        if (!p.start({"/bin/sh", "-c",
                      binaryDir() + "/src/vistreld/vistreld --config " + dir.file("cam") +
                          " --set-password proxy " + extra + " < " + dir.file("pw")},
                     out, env()))
            return -100;
        return p.wait(10000);
    };
    // A settings file that others can read is made private, with a warning.
    ASSERT_EQ(::chmod(ini.c_str(), 0644), 0);
    EXPECT_EQ(fromPipe("pr0xy\r\nignored\n", ""), 0) << output();
    EXPECT_EQ(IniReadPassword("UploadOptions", "FireWallPassword"), "pr0xy");
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(output().find("settings: warning: " + ini + " could be read by others (mode 0644)"),
              std::string::npos)
        << output();
    EXPECT_EQ(fromPipe("\n", ""), 1);
    EXPECT_EQ(IniReadPassword("UploadOptions", "FireWallPassword"), "pr0xy");
    EXPECT_EQ(fromPipe("", "--clear"), 0) << output();
    EXPECT_EQ(IniReadString("UploadOptions", "FireWallPassword", "missing"), "");
}

TEST_F(Vistreld, SignalsCaptureReloadAndStop)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    useServer(server.port());
    ChildProcess p;
    ASSERT_TRUE(launch(p, {"--config", dir.file("cam")}));
    ASSERT_TRUE(outputShows("device: Test Pattern", 10000)) << output();

    ::kill(p.pid(), SIGUSR1);
    ASSERT_TRUE(waitUntil([&] { return fileExists(server.root() + "/vistrel.jpg"); }, 10000))
        << output();

    // Re-read the settings: the next picture goes to another name.
    IniWriteString("UploadOptions", "FTPFilename", "other.jpg");
    ::kill(p.pid(), SIGHUP);
    ASSERT_TRUE(outputShows("SIGHUP", 5000));
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

// Under systemd with Type=notify: READY once the plan is logged, the last result and the next
// capture as STATUS, signs of life for the watchdog, STOPPING at the end; a failed scheduled
// cycle is an error in the journal.
TEST_F(Vistreld, TellsTheServiceManagerHowItIsDoing)
{
    const std::string socketPath = dir.file("notify");
    const int listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // The datagrams that came within ms, in order.
    std::vector<std::string> datagrams;
    auto receive = [&](const std::function<bool()>& enough, int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!enough() && std::chrono::steady_clock::now() < deadline) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::recv(listener, buffer, sizeof buffer, 0);
            if (n > 0)
                datagrams.emplace_back(buffer, static_cast<std::size_t>(n));
        }
        return enough();
    };
    auto count = [&](const std::string& start) {
        return std::count_if(datagrams.begin(), datagrams.end(),
                             [&](const std::string& d) { return d.rfind(start, 0) == 0; });
    };

    // Uploads to a port nothing listens on: every scheduled cycle fails.
    const int closed = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof any;
    ASSERT_EQ(::bind(closed, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ASSERT_EQ(::getsockname(closed, reinterpret_cast<sockaddr*>(&any), &length), 0);
    const int port = ntohs(any.sin_port);
    ::close(closed);
    useServer(port);
    IniWriteInt("UploadOptions", "UploadInterval", 1);
    IniWriteInt("UploadOptions", "UploadIntervalMeasure", 0);
    IniWriteInt("DeviceOptions", "PreviewLeadTime", 0);
    writeFile(out, "");
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    journal = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    extraEnv = {"NOTIFY_SOCKET=" + socketPath, "WATCHDOG_USEC=400000"};

    ChildProcess p;
    ASSERT_TRUE(launch(p, {"--config", dir.file("cam")}));
    ASSERT_TRUE(receive([&] { return count("STATUS=last capture: failed: ") > 0; }, 15000))
        << output();
    ASSERT_TRUE(receive([&] { return count("WATCHDOG=1") >= 3; }, 5000));
    ::kill(p.pid(), SIGHUP);
    ASSERT_TRUE(receive(
        [&] { return count("RELOADING=1\nMONOTONIC_USEC=") == 1 && count("READY=1") == 2; }, 5000));
    ::kill(p.pid(), SIGTERM);
    EXPECT_EQ(p.wait(6000), 0) << output();
    receive([&] { return count("STOPPING=1") == 1; }, 2000);
    ::close(listener);

    ASSERT_FALSE(datagrams.empty());
    EXPECT_EQ(datagrams.front().rfind("READY=1\nSTATUS=no capture yet; next capture: ", 0), 0u)
        << datagrams.front();
    EXPECT_EQ(count("STOPPING=1"), 1);
    const auto failed = std::find_if(datagrams.begin(), datagrams.end(), [](const auto& d) {
        return d.rfind("STATUS=last capture: failed: ", 0) == 0;
    });
    EXPECT_NE(failed->find("; next capture: "), std::string::npos) << *failed;
    EXPECT_EQ(failed->find('\n'), std::string::npos) << *failed;

    const std::string o = output();
    EXPECT_NE(o.find("<3>error: FTP Error: "), std::string::npos) << o;
    EXPECT_EQ(o.find("<6>status: FTP Error: "), std::string::npos) << o;
}

// What the log says at start, after SIGHUP and after a cycle; a request during a cycle.
TEST_F(Vistreld, TheLogSaysWhatIsWrongAndWhatWillHappen)
{
    IniWriteString("UploadOptions", "FTPServr", "typo.example.org");
    IniWriteInt("UploadOptions", "UploadInterval", 2);
    IniWriteInt("UploadOptions", "UploadIntervalMeasure", 2);
    IniWriteInt("UploadOptions", "UploadTimeRange", 1);
    IniWriteInt("UploadOptions", "UploadTimeRangeStartHour", 7);
    IniWriteInt("UploadOptions", "UploadTimeRangeEndHour", 19);
    // A slow capture, so that a request can arrive while the cycle runs.
    IniWriteInt("DeviceOptions", "DisablePreview", 1);
    IniWriteInt("DeviceOptions", "PreviewLeadTime", 2);
    ChildProcess p;
    ASSERT_TRUE(launch(p, {"--config", dir.file("cam")}));
    const std::string typo = "warning: unknown key FTPServr in [UploadOptions] (line ";
    ASSERT_TRUE(outputShows("next capture: ", 10000)) << output();
    std::string o = output();
    EXPECT_NE(o.find(typo), std::string::npos) << o;
    EXPECT_NE(o.find("): did you mean FTPServer?\n"), std::string::npos);
    EXPECT_NE(o.find("plan: camera: Test Pattern (ImageFormat/CaptureDevice=0), 320 x 240"),
              std::string::npos);
    EXPECT_NE(o.find("plan: schedule: a capture every 2 hours\n"), std::string::npos) << o;
    EXPECT_NE(o.find("plan: time window: 07:00-19:00: timed captures from 06:59:59 to 18:59:59"),
              std::string::npos);
    EXPECT_NE(o.find("plan: local copy: " + dir.file("vistrel.jpg")), std::string::npos);
    EXPECT_NE(o.find("plan: FTP upload: off (UploadOptions/FTPUpload=0)"), std::string::npos);

    ::kill(p.pid(), SIGUSR1);
    ASSERT_TRUE(outputShows("status: Capturing Image...", 5000));
    ::kill(p.pid(), SIGUSR1);
    ASSERT_TRUE(outputShows("signal: SIGUSR1: a cycle is running; this request is dropped", 5000))
        << output();
    // After the cycle: when the next one is due.
    ASSERT_TRUE(waitUntil(
        [&] {
            o = output();
            return o.find("next capture: ", o.find("Capturing Image...")) != std::string::npos;
        },
        10000))
        << output();

    // Re-read: the warning again, and the new plan.
    IniWriteInt("UploadOptions", "UploadInterval", 0);
    ::kill(p.pid(), SIGHUP);
    ASSERT_TRUE(outputShows("next capture: none scheduled (UploadOptions/UploadInterval=0)", 5000))
        << output();
    o = output();
    EXPECT_NE(o.find(typo, o.find("SIGHUP")), std::string::npos) << o;
    EXPECT_NE(o.find("plan: schedule: no timer", o.find("SIGHUP")), std::string::npos) << o;
    ::kill(p.pid(), SIGTERM);
    EXPECT_EQ(p.wait(6000), 0) << output();
    // The file still holds the unknown key.
    EXPECT_EQ(IniReadString("UploadOptions", "FTPServr", ""), "typo.example.org");
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
    ASSERT_TRUE(outputShows("status: Capturing Image...", 10000)) << output();
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
            if (!p.start({binaryDir() + "/src/vistreld/vistreld", "--once", "--config",
                          dir.file(in.name)},
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
