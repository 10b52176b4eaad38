// Takes a picture of each page of the settings sheet and of the camera's Format and Source
// dialogs for the documentation: the sheet over a hub with a fake V4L2 camera (the tests' own,
// with a few typical controls) and a throwaway settings file with typical values. Needs an X
// display with a window manager and ImageMagick's import:
//
//   xvfb-run -a -s "-screen 0 1280x800x24" sh -c 'openbox & sleep 1;
//     QT_QPA_PLATFORM=xcb build/tests/ui/sheet/sheet_screenshots docs'

#include "FakeV4l2.h"
#include "app/Hub.h"
#include "capture/CaptureDrivers.h"
#include "config/SettingsFile.h"
#include "config/SettingsMigration.h"
#include "dialup/CDialUpManager.h"
#include "ui/sheet/CMyPropertySheet.h"
#include "widgets/MessageBoxPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <linux/videodev2.h>

using namespace vistrel;

namespace {

class NoHost : public SettingsMigrationHost {
  public:
    void OpenHelpTopic(int) override {}
    bool RunSettingsSheet() override { return false; }
    void Redraw() override {}
};

CaptureControl Control(std::uint32_t id, const char* name, CaptureControl::Type type, int max,
                       int def, int value)
{
    CaptureControl c;
    c.id = id;
    c.name = name;
    c.type = type;
    c.maximum = max;
    c.defaultValue = def;
    c.value = value;
    return c;
}

bool Import(QWidget* window, const QString& file)
{
    const int rc = QProcess::execute(QStringLiteral("import"),
                                     {QStringLiteral("-frame"), QStringLiteral("-window"),
                                      QString::number(window->winId()), file});
    if (rc != 0)
        std::fprintf(stderr, "import failed for %s\n", qPrintable(file));
    return rc == 0;
}

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: sheet_screenshots OUTPUT-FOLDER\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir temp;
    setenv("XDG_CONFIG_HOME", temp.path().toLocal8Bit().constData(), 1);
    SetSettingsFilePathForTesting(temp.filePath(QStringLiteral("vistrel.ini")).toStdString());
    IniWriteInt("License", "INIVersion", 1005);
    IniWriteInt("ConnectOptions", "UseLAN", 1);
    IniWriteString("UploadOptions", "FTPServer", "ftp.example.org");
    IniWriteString("UploadOptions", "FTPUsername", "webcam");
    IniWritePassword("UploadOptions", "FTPPassword", "secret");
    IniWriteString("UploadOptions", "FTPDirectory", "/htdocs/cam");
    IniWriteString("UploadOptions", "FTPFilename", "street.jpg");
    IniWriteInt("UploadOptions", "PassiveMode", 1);
    IniWriteInt("UploadOptions", "UploadInterval", 5);
    IniWriteInt("UploadOptions", "UploadTimeRange", 1);
    IniWriteInt("UploadOptions", "UploadTimeRangeStartHour", 7);
    IniWriteInt("UploadOptions", "UploadTimeRangeEndHour", 21);
    IniWriteInt("UploadOptions", "UploadTimeRangeEndMinute", 30);
    IniWriteInt("UploadOptions", "ArchiveInterval", 3);
    IniWriteInt("UploadOptions", "NumberOfArchives", 24);
    IniWriteInt("Options", "UseSound", 1);

    MessageBoxPrompter prompter(QStringLiteral("Vistrel"));
    NoHost host;
    auto dialUp = std::make_shared<CDialUpManager>(prompter, "/nonexistent/librasapi32.so", "");
    auto cams = std::make_shared<test::FakeV4l2>();
    auto& cam = cams->addCamera("/dev/video0", "USB Camera");
    using T = CaptureControl::Type;
    cam.controls[V4L2_CID_BRIGHTNESS] =
        Control(V4L2_CID_BRIGHTNESS, "Brightness", T::Integer, 255, 128, 140);
    cam.controls[V4L2_CID_CONTRAST] =
        Control(V4L2_CID_CONTRAST, "Contrast", T::Integer, 255, 32, 32);
    cam.controls[V4L2_CID_SATURATION] =
        Control(V4L2_CID_SATURATION, "Saturation", T::Integer, 255, 64, 80);
    cam.controls[V4L2_CID_AUTO_WHITE_BALANCE] =
        Control(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", T::Boolean, 1, 1, 1);
    CaptureControl power =
        Control(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", T::Menu, 2, 1, 1);
    power.menuItems = {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};
    cam.controls[power.id] = power;
    CaptureDriverList drivers(cams);
    Hub hub(prompter, host, dialUp, drivers, {});
    hub.Startup(false);

    const char* names[] = {"device", "image", "capture", "location", "connection", "general"};
    int failures = 0;
    {
        CMyPropertySheet sheet(hub, prompter);
        sheet.show();
        for (int page = 0; page < 6; ++page) {
            sheet.setCurrentPage(page);
            Wait(600);
            if (!Import(&sheet, out + QStringLiteral("/sheet-%1.png").arg(names[page])))
                ++failures;
        }
        // The camera's dialogs, each pictured and closed while it runs.
        sheet.setCurrentPage(CMyPropertySheet::DevicePage);
        for (const char* dialog : {"format", "source"}) {
            QTimer::singleShot(800, [&, dialog] {
                QWidget* modal = QApplication::activeModalWidget();
                if (!modal || modal == &sheet) {
                    ++failures;
                    return;
                }
                if (!Import(modal, out + QStringLiteral("/sheet-device-%1.png").arg(dialog)))
                    ++failures;
                modal->close();
            });
            sheet.findChild<QAbstractButton*>(QString::fromLatin1(dialog))->click();
        }
    }
    hub.Shutdown();
    return failures == 0 ? 0 : 1;
}
