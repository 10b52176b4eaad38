// The desktop program's preview with the test pattern at 25 frames a second, on the offscreen
// platform: how long from the start of main() to the first frame the preview shows, and the
// share of one core the running preview takes.
//   bench_preview [seconds]   (default 10 of preview measured)
#include "RecordingPrompter.h"
#include "TestSupport.h"

#include "capture/CaptureDrivers.h"
#include "capture/V4l2Io.h"
#include "config/SettingsFile.h"
#include "dialup/CDialUpManager.h"
#include "ui/MainDialog.h"
#include "ui/PreviewWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>

using namespace vistrel;

namespace {

double cpuMs()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(ru.ru_utime) + ms(ru.ru_stime);
}

// Whether the widget shows a picture: more than one colour on its middle row.
bool showsPicture(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    if (image.isNull() || image.width() < 2)
        return false;
    const int y = image.height() / 2;
    const QRgb first = image.pixel(0, y);
    for (int x = 1; x < image.width(); x += 4)
        if (image.pixel(x, y) != first)
            return true;
    return false;
}

// Runs the event loop for ms, sleeping while nothing happens.
void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    const auto t0 = std::chrono::steady_clock::now();
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    test::TempDir dir;
    const test::ScopedEnv tmpdir("TMPDIR", dir.path());
    std::filesystem::create_directories(dir.file("program"));
    SetSettingsFilePathForTesting(dir.file("bench.ini"));
    IniWriteInt("License", "INIVersion", 1005);
    IniWriteString("Install", "Directory", dir.file("program"));
    IniWriteString("UploadOptions", "SaveAsFilename", dir.file("vistrel.jpg"));
    IniWriteInt("ConnectOptions", "UseLAN", 1);
    IniWriteInt("DeviceOptions", "PreviewRate", 25);
    IniWriteInt("ImageFormat", "Width", 320);
    IniWriteInt("ImageFormat", "Height", 240);

    test::RecordingPrompter prompter;
    auto dialUp = std::make_shared<CDialUpManager>(prompter, "/nonexistent/librasapi32.so", "");
    CaptureDriverList drivers(NoV4l2Devices());
    CMainDialog::Options options{&prompter, dialUp, &drivers, {}, [] { return true; }, {}};
    auto window = std::make_unique<CMainDialog>(std::move(options));
    window->OnInitDialog();
    window->show();

    QElapsedTimer limit;
    limit.start();
    while (!showsPicture(window->preview()) && limit.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    const double firstFrameMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (limit.elapsed() >= 20000) {
        std::fprintf(stderr, "the preview showed no picture within 20 s\n");
        return 1;
    }

    pump(2000); // settled
    const double before = cpuMs();
    const auto wall0 = std::chrono::steady_clock::now();
    pump(seconds * 1000);
    const double busyMs = cpuMs() - before;
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();

    std::printf("start of main() to the first preview frame: %.0f ms\n", firstFrameMs);
    std::printf("preview at 25 fps, 320x240 test pattern: %.1f %% of a core (%.0f ms CPU in %.0f "
                "ms)\n",
                100.0 * busyMs / wallMs, busyMs, wallMs);
    prompter.setNextAnswer(true);
    window->OnCancel();
    window.reset();
    SetSettingsFilePathForTesting("");
    return 0;
}
