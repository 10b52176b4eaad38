// Grab latency of network cameras, each against a camera server on 127.0.0.1 started here:
//  - an HTTP snapshot camera (160 x 120 JPEG): every grab connects, asks and decodes;
//  - an MJPEG stream, preview running: a grab waits for the next part (20 parts a second);
//  - RTSP (640 x 480 at 25 frames a second, Motion-JPEG and H.264 with a key frame every half
//    second): the first frame after connecting (the preview off, as a timed capture without a
//    preview does), and a frame from the running stream (the preview on).
// Prints the median and the 90th percentile of each, in milliseconds.
//   usage: bench_netcam [grabs=30]
// The RTSP server needs scripts/bootstrap.sh --tests (GStreamer's RTSP server and encoders).
#include "capture/CaptureDevice.h"
#include "capture/NetworkCamera.h"

#include "CameraServers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace vistrel;
using namespace vistrel::test;

namespace {

// Times grabs of a connected device; returns false when a grab failed.
bool timeGrabs(CaptureDevice& device, int grabs, const char* what)
{
    std::vector<double> ms;
    for (int i = 0; i < grabs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!device.grabFrame()) {
            std::printf("%-44s failed: %s\n", what, device.lastError().c_str());
            return false;
        }
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    const RgbFrame f = device.frame();
    std::printf("%-44s %4d x %-4d  median %7.1f ms   p90 %7.1f ms\n", what, f.width, f.height,
                ms[ms.size() / 2], ms[ms.size() * 9 / 10]);
    return true;
}

std::unique_ptr<CaptureDevice> connect(const std::string& url)
{
    auto device = std::make_unique<CaptureDevice>(MakeNetworkCameraBackend({"bench", url, "", ""}));
    if (!device->connect()) {
        std::printf("cannot connect %s: %s\n", url.c_str(), device->lastError().c_str());
        return nullptr;
    }
    return device;
}

// With the preview running (no listener: the stream stays on, no frame is read for display).
bool timeRunning(CaptureDevice& device, int grabs, const char* what)
{
    device.setPreviewRate(40);
    if (!device.setPreview(true))
        return false;
    device.grabFrame(); // the stream is up
    const bool ok = timeGrabs(device, grabs, what);
    device.setPreview(false);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const int grabs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    int failures = 0;
    // The benchmark is not where a program finds the network-camera module by itself.
    ::setenv("VISTREL_NETCAM_DIR", VISTREL_NETCAM_BUILD_DIR, 0);

    HttpCameraServer http;
    std::string log;
    if (!http.start(0, &log)) {
        std::printf("the HTTP camera did not start:\n%s\n", log.c_str());
        return 1;
    }
    if (auto snap = connect(http.url("/snap.jpg")))
        failures += !timeGrabs(*snap, grabs, "HTTP snapshot, one request a grab");
    else
        ++failures;
    if (auto mjpeg = connect(http.url("/mjpeg?fps=20&count=100000")))
        failures += !timeRunning(*mjpeg, grabs, "MJPEG 20/s, running stream");
    else
        ++failures;

    for (const char* codec : {"mjpeg", "h264"}) {
        std::string missing;
        if (!RtspCameraServer::available(codec, &missing)) {
            std::printf("RTSP %s skipped: %s\n", codec, missing.c_str());
            continue;
        }
        RtspCameraServer rtsp;
        if (!rtsp.start(codec, 0, &log, {"--width", "640", "--height", "480", "--fps", "25"})) {
            std::printf("the RTSP camera (%s) did not start:\n%s\n", codec, log.c_str());
            ++failures;
            continue;
        }
        auto device = connect(rtsp.url());
        if (!device) {
            ++failures;
            continue;
        }
        const std::string name = std::string("RTSP ") + (codec[0] == 'm' ? "Motion-JPEG" : "H.264");
        failures += !timeGrabs(*device, std::max(3, grabs / 3),
                               (name + ", first frame after connect").c_str());
        failures += !timeRunning(*device, grabs, (name + ", running stream").c_str());
    }
    return failures == 0 ? 0 : 1;
}
