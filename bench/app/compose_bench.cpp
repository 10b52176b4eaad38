// Compose-and-save of a stamped picture (banner, date/time stamp, logo) from the test pattern,
// in process and as a whole `vistreld --once`, against fswebcam's test source at the same sizes.
#include "BenchSupport.h"

#include "capture/CaptureDrivers.h"
#include "capture/V4l2Io.h"
#include "config/SettingsFile.h"
#include "imaging/ComposeAndSave.h"
#include "imaging/codec/ImgLib.h"

#include <QCoreApplication>

#include <cstdio>

using namespace vistrel;

namespace {

class Grabber : public FrameGrabber {
  public:
    explicit Grabber(CaptureDevice& d) : m_d(d) {}
    bool IsPreviewing() const override { return m_d.isPreviewing(); }
    bool SetPreview(bool on) override { return m_d.setPreview(on); }
    bool GrabFrame() override { return m_d.grabFrame(); }
    bool SaveFrame(const std::string& path) override { return m_d.saveFrame(path); }

  private:
    CaptureDevice& m_d;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;
    const bool haveFswebcam = bench::sh("command -v fswebcam >/dev/null");

    std::printf("%-10s %16s %18s %18s %8s\n", "size", "compose (ms)", "vistreld --once", "fswebcam",
                "ratio");
    for (auto [w, h] : {std::pair{640, 480}, {1280, 720}}) {
        const std::string dir = bench::tempDir();
        const std::string ini = dir + "/cam.ini";
        bench::writeStampSettings(ini, dir, w, h);

        // In process: the test pattern device and the stamping pipeline alone.
        CaptureDriverList drivers(NoV4l2Devices());
        auto device = drivers.createDevice(0);
        device->connect();
        device->setFormat(Rgb24Format(w, h));
        Grabber grabber(*device);
        ComposeSettings s;
        s.message = "Vistrel benchmark camera";
        s.font = {"DejaVu Sans", -13, 0, 700, false};
        s.fontColor = 0xFFFFFF;
        s.timeFont = s.font;
        s.timeFontColor = 0xFFFFFF;
        s.enableOverlay = true;
        s.overlayFilename = dir + "/logo.bmp";
        s.overlayAlignment = 8;
        s.quality = 85;
        const auto inProcess = bench::timeRuns(
            runs, [&] { return !ComposeAndSave(dir + "/out.jpg", s, &grabber).stampText.empty(); });
        device->disconnect();

        // Whole processes.
        const std::string env = "XDG_CONFIG_HOME=" + dir + " ";
        const auto daemon = bench::timeRuns(runs / 5 + 1, [&] {
            return bench::sh(env + VISTRELD + " --once --config " + dir + "/cam >/dev/null 2>&1");
        });
        std::vector<double> fs;
        if (haveFswebcam) {
            unsigned lw = 100, lh = 50;
            RgbImage logo = ImgLibReadRGBFromBMP(dir + "/logo.bmp", lw, lh);
            ImgLibSaveRGBToPNG(dir + "/logo.png", logo, lw, lh, 0, 0);
            const std::string cmd = "fswebcam -q -d TEST: -r " + std::to_string(w) + "x" +
                                    std::to_string(h) +
                                    " --title 'Vistrel benchmark camera' --timestamp '%d %b %Y "
                                    "%H:%M' --overlay " +
                                    dir + "/logo.png --jpeg 85 " + dir + "/fs.jpg >/dev/null 2>&1";
            fs = bench::timeRuns(runs / 5 + 1, [&] { return bench::sh(cmd); });
        }
        const double d = bench::median(daemon), f = bench::median(fs);
        std::printf("%4dx%-5d %16.2f %18.1f %18.1f %8s\n", w, h, bench::median(inProcess), d, f,
                    f > 0 && d > 0 ? (std::to_string(f / d).substr(0, 4) + "x").c_str() : "n/a");
        SetSettingsFilePathForTesting("");
        bench::removeAll(dir);
    }
    std::printf(
        "(medians; ratio = fswebcam time / vistreld time, above 1 means vistreld is faster)\n");
    return 0;
}
