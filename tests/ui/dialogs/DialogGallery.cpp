// Opens one of the dialogs with sample values over the test-pattern camera, for screenshots
// (see screenshots.sh). Not a test.
//   dialog_gallery banner|time|logo LOGO|proxy|browser PORT|newdir|notice
#include "capture/CaptureDrivers.h"
#include "capture/CaptureSession.h"
#include "ui/dialogs/CFtpDirDialog.h"
#include "ui/dialogs/CFtpProxyDialog.h"
#include "ui/dialogs/CMyFontDialog.h"
#include "ui/dialogs/CMyTimeDialog.h"
#include "ui/dialogs/CNewDirDialog.h"
#include "ui/dialogs/LogoPropertiesDialog.h"
#include "ui/dialogs/SampleSizeNotice.h"
#include "widgets/MessageBoxPrompter.h"

#include <QApplication>

#include <cstdio>
#include <string>

using namespace vistrel;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::string which = argc > 1 ? argv[1] : "";
    const std::string arg = argc > 2 ? argv[2] : "";

    // The sample comes from the built-in test pattern, the last driver of the list.
    MessageBoxPrompter prompter(QStringLiteral("Vistrel"));
    CaptureDriverList drivers;
    CaptureSession capture(drivers, prompter);
    CaptureSettings settings;
    settings.captureDevice = static_cast<int>(drivers.descriptions().size()) - 1;
    capture.ConnectCaptureDriver(settings);
    DialogServices services;
    services.grabSample = [&capture] { return capture.GrabSampleFrame(); };

    if (which == "banner") {
        CMyFontDialog d({{"DejaVu Sans", -20, 0, 700, false}, 0xFFFFFF, "Harbour webcam", 1, true},
                        services);
        return d.exec();
    }
    if (which == "time") {
        CMyTimeDialog d({{"DejaVu Sans", -13, 0, 700, false}, 0x00FFFF, 4, true, 2}, services);
        return d.exec();
    }
    if (which == "logo") {
        LogoPropertiesDialog d({arg, 8, true}, services);
        return d.exec();
    }
    if (which == "proxy") {
        CFtpProxyDialog d({3, "proxy.example.org", 2121, "camera", "secret"}, services);
        return d.exec();
    }
    if (which == "browser") {
        FtpBrowseSettings s;
        s.connection.host = "127.0.0.1";
        s.connection.port = std::stoi(arg);
        s.connection.user = "cam";
        s.connection.password = "secret";
        s.directory = "/www";
        CFtpDirDialog d(s, services);
        return d.exec();
    }
    if (which == "newdir") {
        CNewDirDialog d;
        return d.exec();
    }
    if (which == "notice") {
        SampleSizeNotice d;
        return d.exec();
    }
    std::fprintf(stderr,
                 "usage: dialog_gallery banner|time|logo LOGO|proxy|browser PORT|newdir|notice\n");
    return 2;
}
