// What a picture costs: `vistreld --once` against `fswebcam -d TEST:` with the same stamps
// (banner, date/time, logo) and JPEG quality, measured as pairs in one run (each round runs both,
// one after the other, so a busy moment hits both); `--version` alone; the daemon's resident
// memory idle and after a cycle, with the test pattern and with a network camera (the HTTP test
// camera on 127.0.0.1), which is where the network-camera module is loaded.
//   bench_lean [rounds]   (default 15; medians are printed)
#include "BenchSupport.h"
#include "CameraServers.h"

#include "config/SettingsFile.h"
#include "imaging/codec/ImgLib.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vistrel;

namespace {

struct Cost {
    double cpuMs = -1;   // user + system time
    double peakMiB = -1; // peak resident memory
};

std::vector<char*> argvOf(const std::vector<std::string>& args)
{
    std::vector<char*> v;
    for (const std::string& a : args)
        v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    return v;
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& log = "/dev/null")
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        for (const std::string& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> v = argvOf(args);
        ::execvp(v[0], v.data());
        ::_exit(127);
    }
    return pid;
}

// One whole run of a program through the small launcher (see spawn_measure.c): what it cost, or
// a cost of -1 when it failed (unless anyStatus: fswebcam --version exits with 255).
Cost measure(const std::vector<std::string>& args, const std::vector<std::string>& env,
             bool anyStatus = false)
{
    static const std::string result = bench::tempDir() + "/cost";
    std::vector<std::string> launch = {SPAWN_MEASURE, result};
    launch.insert(launch.end(), args.begin(), args.end());
    std::filesystem::remove(result);
    const pid_t pid = spawn(launch, env);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return {};
    long long us = 0;
    long kib = 0;
    int exitStatus = -1;
    std::ifstream in(result);
    if (!(in >> us >> kib >> exitStatus) || (exitStatus != 0 && !anyStatus))
        return {};
    return {us / 1000.0, kib / 1024.0};
}

struct Pair {
    std::vector<double> cpu[2], peak[2];
    void add(int side, const Cost& c)
    {
        if (c.cpuMs < 0)
            return;
        cpu[side].push_back(c.cpuMs);
        peak[side].push_back(c.peakMiB);
    }
};

std::string ratio(double ours, double theirs)
{
    if (ours <= 0 || theirs <= 0)
        return "n/a";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2fx", ours / theirs);
    return buf;
}

void printPair(const char* what, const Pair& p, const char* unit, bool memory)
{
    const double ours = bench::median(memory ? p.peak[0] : p.cpu[0]);
    const double theirs = bench::median(memory ? p.peak[1] : p.cpu[1]);
    std::printf("%-34s %10.1f %-4s %10.1f %-4s %8s\n", what, ours, unit, theirs, unit,
                ratio(ours, theirs).c_str());
}

double vmKiB(pid_t pid, const char* field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::strtod(line.c_str() + std::strlen(field), nullptr);
    return -1;
}

bool waitFor(const std::function<bool()>& ready, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The daemon's resident memory idle (its start-up plan written, nothing scheduled) and after one
// cycle asked for with SIGUSR1, in MiB.
std::pair<double, double> daemonMemory(const std::string& dir, const std::vector<std::string>& env)
{
    const std::string log = dir + "/daemon.log";
    const std::string copy = dir + "/vistrel.jpg";
    std::filesystem::remove(log);
    std::filesystem::remove(copy);
    const pid_t pid = spawn({VISTRELD, "--config", dir + "/cam"}, env, log);
    std::pair<double, double> mib{-1, -1};
    if (waitFor([&] { return readAll(log).find("plan: ") != std::string::npos; }, 20000)) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        mib.first = vmKiB(pid, "VmRSS:") / 1024;
        ::kill(pid, SIGUSR1);
        if (waitFor([&] { return std::filesystem::exists(copy); }, 20000)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            mib.second = vmKiB(pid, "VmRSS:") / 1024;
        }
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return mib;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const bool haveFswebcam = bench::sh("command -v fswebcam >/dev/null");
    if (!haveFswebcam)
        std::printf("fswebcam is missing (scripts/bootstrap.sh --bench installs it): its column "
                    "stays empty\n");

    std::printf("%-34s %15s %15s %8s\n", "", "vistreld", "fswebcam", "ratio");
    for (auto [w, h] : {std::pair{640, 480}, {1280, 720}}) {
        const std::string dir = bench::tempDir();
        bench::writeStampSettings(dir + "/cam.ini", dir, w, h);
        SetSettingsFilePathForTesting("");
        unsigned lw = 100, lh = 50;
        RgbImage logo = ImgLibReadRGBFromBMP(dir + "/logo.bmp", lw, lh);
        ImgLibSaveRGBToPNG(dir + "/logo.png", logo, lw, lh, 0, 0);
        const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir, "TMPDIR=" + dir};
        const std::vector<std::string> daemon = {VISTRELD, "--once", "--config", dir + "/cam"};
        const std::vector<std::string> peer = {
            "fswebcam",     "-q",
            "-d",           "TEST:",
            "-r",           std::to_string(w) + "x" + std::to_string(h),
            "--title",      "Vistrel benchmark camera",
            "--timestamp",  "%d %b %Y %H:%M",
            "--overlay",    dir + "/logo.png",
            "--jpeg",       "85",
            dir + "/fs.jpg"};
        Pair once, version;
        for (int i = 0; i < rounds; ++i) {
            once.add(0, measure(daemon, env));
            if (haveFswebcam)
                once.add(1, measure(peer, env));
            if (w == 640) {
                version.add(0, measure({VISTRELD, "--version"}, env));
                if (haveFswebcam)
                    version.add(1, measure({"fswebcam", "--version"}, env, true));
            }
        }
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        printPair(("--once " + size + ", CPU").c_str(), once, "ms", false);
        printPair(("--once " + size + ", peak memory").c_str(), once, "MiB", true);
        if (w == 640) {
            printPair("--version, CPU", version, "ms", false);
            printPair("--version, peak memory", version, "MiB", true);

            const auto [idle, after] = daemonMemory(dir, env);
            std::printf("%-34s %10.1f MiB\n", "daemon idle, test pattern", idle);
            std::printf("%-34s %10.1f MiB\n", "daemon after a cycle, test pattern", after);

            // A network camera in the settings but the test pattern chosen: nothing is loaded.
            test::HttpCameraServer camera;
            std::string cameraLog;
            if (camera.start(0, &cameraLog)) {
                SetSettingsFilePathForTesting(dir + "/cam.ini");
                IniWriteString("NetworkCameras", "Camera1Name", "Bench camera");
                IniWriteString("NetworkCameras", "Camera1URL", camera.url("/snap.jpg"));
                IniWriteInt("ImageFormat", "CaptureDevice", 1); // after the camera
                SetSettingsFilePathForTesting("");
                const auto [idleN, afterN] = daemonMemory(dir, env);
                std::printf("%-34s %10.1f MiB\n", "daemon idle, camera not chosen", idleN);
                std::printf("%-34s %10.1f MiB\n", "  after a cycle", afterN);
                SetSettingsFilePathForTesting(dir + "/cam.ini");
                IniWriteInt("ImageFormat", "CaptureDevice", 0);
                SetSettingsFilePathForTesting("");
                const auto [idleC, afterC] = daemonMemory(dir, env);
                std::printf("%-34s %10.1f MiB\n", "daemon idle, network camera", idleC);
                std::printf("%-34s %10.1f MiB\n", "  after a cycle", afterC);
                std::printf("%-34s %10.1f MiB\n", "  the module's cost, idle",
                            idleC > 0 && idle > 0 ? idleC - idle : -1.0);
            } else {
                std::printf("the HTTP test camera did not start: %s\n", cameraLog.c_str());
            }
        }
        bench::removeAll(dir);
    }
    std::printf("(medians of %d pairs on this machine; ratio = vistreld / fswebcam, below 1 "
                "means vistreld costs less)\n",
                rounds);
    return 0;
}
