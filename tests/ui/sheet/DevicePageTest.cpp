// The Device page over the fake V4L2 camera: the driver list, the Format dialog and Cancel
// putting the format back, the Source dialog built from the camera's controls, the preview
// options and a change of driver; network cameras added, edited and removed.

#include "CameraServers.h"
#include "FakeV4l2.h"
#include "SheetFixture.h"

#include "ui/PreviewWidget.h"
#include "ui/sheet/NetworkCameraDialog.h"
#include "ui/sheet/UpDownEdit.h"
#include "ui/sheet/VideoFormatDialog.h"
#include "ui/sheet/VideoSourceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <linux/videodev2.h>
#include <thread>

namespace vistrel::test {
namespace {

const std::string kCam = "/dev/video0";

// The fake camera, whose control calls, or its format calls, can be made to hang for a while
// (a camera that stops answering).
class StallingV4l2 : public FakeV4l2 {
  public:
    std::atomic<int> controlStallMs{0};
    std::atomic<int> formatStallMs{0};
    int ioctl(int fd, unsigned long request, void* arg) override
    {
        if (request == VIDIOC_S_CTRL || request == VIDIOC_QUERYCTRL)
            std::this_thread::sleep_for(std::chrono::milliseconds(controlStallMs.load()));
        if (request == VIDIOC_ENUM_FRAMESIZES || request == VIDIOC_ENUM_FMT ||
            request == VIDIOC_S_FMT)
            std::this_thread::sleep_for(std::chrono::milliseconds(formatStallMs.load()));
        return FakeV4l2::ioctl(fd, request, arg);
    }
};

class DevicePage : public SheetFixture {
  protected:
    std::shared_ptr<StallingV4l2> cams = std::make_shared<StallingV4l2>();

    FakeV4l2::Node& camera() { return cams->node(kCam); }
    // Where the main window puts the picture for the frame size the hub reports.
    PreviewGeometry placedPreview() const
    {
        const FrameSize size = hub->ShownCapture().previewSize;
        return PlacePreviewGeometry(size.width, size.height);
    }
    void SetUp() override
    {
        SheetFixture::SetUp();
        cams->addCamera(kCam, "Fake Cam");
    }

    // Runs action on the modal dialog of type T that the next click opens (within 5 s: the
    // page may wait beside the window for the camera before it opens it).
    template <class T> void onDialog(std::function<void(T&)> action, int triesLeft = 500)
    {
        QTimer::singleShot(triesLeft == 500 ? 0 : 10, [this, action, triesLeft] {
            auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!dialog && triesLeft > 0 && !QApplication::activeModalWidget())
                return onDialog(action, triesLeft - 1);
            if (!dialog) {
                ADD_FAILURE() << "no dialog open";
                if (QWidget* other = QApplication::activeModalWidget())
                    other->close();
                return;
            }
            action(*dialog);
        });
    }

    // The longest the window's thread went without running its timer while fn ran, and whether
    // the wait cursor showed meanwhile.
    struct Answer {
        qint64 longestGapMs = 0;
        bool waitCursor = false;
    };
    static Answer measure(const std::function<void()>& fn)
    {
        Answer a;
        QElapsedTimer since;
        since.start();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            a.longestGapMs = std::max(a.longestGapMs, since.restart());
            const QCursor* c = QApplication::overrideCursor();
            a.waitCursor = a.waitCursor || (c && c->shape() == Qt::WaitCursor);
        });
        tick.start(20);
        fn();
        a.longestGapMs = std::max(a.longestGapMs, since.elapsed());
        return a;
    }
    static void expectAnswered(const std::vector<std::pair<const char*, Answer>>& answers)
    {
        for (const auto& [what, a] : answers) {
            SCOPED_TRACE(what);
            EXPECT_LT(a.longestGapMs, 200);
            EXPECT_TRUE(a.waitCursor);
        }
    }

    static CaptureControl control(std::uint32_t id, const char* name, CaptureControl::Type type,
                                  int min, int max, int def, int value)
    {
        CaptureControl c;
        c.id = id;
        c.name = name;
        c.type = type;
        c.minimum = min;
        c.maximum = max;
        c.defaultValue = def;
        c.value = value;
        return c;
    }
};

TEST_F(DevicePage, CancelPutsTheFormatBackAndPlacesThePreviewAgain)
{
    startHub(cams);
    ASSERT_EQ(camera().current, (FrameSize{640, 480}));
    openSheet();
    EXPECT_TRUE(find<QPushButton>("format")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("source")->isEnabled()); // this camera has no controls
    EXPECT_FALSE(find<QPushButton>("display")->isEnabled());
    QSignalSpy placed(hub.get(), &Hub::captureDeviceChanged);

    std::vector<FrameSize> offered;
    QString formats;
    onDialog<CVideoFormatDialog>([&](CVideoFormatDialog& d) {
        offered = d.sizes();
        formats = d.findChild<QLabel*>("pixelFormats")->text();
        EXPECT_EQ(d.selectedSize(), (FrameSize{640, 480}));
        d.selectSize({160, 120});
        d.accept();
    });
    click("format");
    EXPECT_EQ(offered, (std::vector<FrameSize>{{160, 120}, {320, 240}, {640, 480}, {1280, 720}}));
    EXPECT_TRUE(formats.contains("YUYV 4:2:2, Motion-JPEG")) << formats.toStdString();
    EXPECT_EQ(camera().current, (FrameSize{160, 120}));
    EXPECT_EQ(placedPreview(), (PreviewGeometry{80, 60, 160, 120}));
    EXPECT_EQ(placed.count(), 1);
    EXPECT_TRUE(sheet->applyButton()->isEnabled());

    const auto before = fileKeys();
    click("cancel");
    EXPECT_EQ(camera().current, (FrameSize{640, 480}));
    EXPECT_EQ(placedPreview(), (PreviewGeometry{0, 0, 320, 240}));
    EXPECT_EQ(placed.count(), 2);
    EXPECT_EQ(fileKeys(), before);
}

TEST_F(DevicePage, ApplyStoresTheFormatInUseWhichCancelThenKeeps)
{
    startHub(cams);
    openSheet();
    onDialog<CVideoFormatDialog>([](CVideoFormatDialog& d) {
        d.selectSize({320, 240});
        d.accept();
    });
    click("format");
    sheet->applyButton()->click();
    auto keys = fileKeys();
    EXPECT_EQ(keys.at("ImageFormat/Width"), "320");
    EXPECT_EQ(keys.at("ImageFormat/Height"), "240");
    EXPECT_EQ(keys.at("ImageFormat/SizeImage"), "230400");
    // A Format dialog left with Cancel changes nothing.
    onDialog<CVideoFormatDialog>([](CVideoFormatDialog& d) {
        d.selectSize({1280, 720});
        d.reject();
    });
    click("format");
    EXPECT_EQ(camera().current, (FrameSize{320, 240}));
    click("cancel");
    EXPECT_EQ(camera().current, (FrameSize{320, 240})); // the applied format stays
}

TEST_F(DevicePage, TheSourceDialogShowsTheCamerasControlsAndAppliesThemLive)
{
    using T = CaptureControl::Type;
    camera().controls[V4L2_CID_BRIGHTNESS] =
        control(V4L2_CID_BRIGHTNESS, "Brightness", T::Integer, 0, 255, 128, 100);
    camera().controls[V4L2_CID_AUTO_WHITE_BALANCE] =
        control(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", T::Boolean, 0, 1, 1, 0);
    CaptureControl power =
        control(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", T::Menu, 0, 2, 1, 2);
    power.menuItems = {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};
    camera().controls[power.id] = power;
    startHub(cams);
    openSheet();
    ASSERT_TRUE(find<QPushButton>("source")->isEnabled());
    auto value = [this](std::uint32_t id) { return camera().controls.at(id).value; };

    // Moved, then Cancel: the camera gets its values back.
    onDialog<CVideoSourceDialog>([&](CVideoSourceDialog& d) {
        ASSERT_EQ(d.controls().size(), 3u);
        auto* slider = qobject_cast<QSlider*>(d.widgetFor(V4L2_CID_BRIGHTNESS));
        auto* box = qobject_cast<QCheckBox*>(d.widgetFor(V4L2_CID_AUTO_WHITE_BALANCE));
        auto* menu = qobject_cast<QComboBox*>(d.widgetFor(V4L2_CID_POWER_LINE_FREQUENCY));
        ASSERT_TRUE(slider && box && menu);
        EXPECT_EQ(slider->minimum(), 0);
        EXPECT_EQ(slider->maximum(), 255);
        EXPECT_EQ(slider->value(), 100);
        EXPECT_FALSE(box->isChecked());
        ASSERT_EQ(menu->count(), 3);
        EXPECT_EQ(menu->itemText(1), "50 Hz");
        EXPECT_EQ(menu->currentText(), "60 Hz");
        slider->setValue(200);
        EXPECT_EQ(value(V4L2_CID_BRIGHTNESS), 200); // live
        box->setChecked(true);
        EXPECT_EQ(value(V4L2_CID_AUTO_WHITE_BALANCE), 1);
        menu->setCurrentIndex(0);
        emit menu->activated(0);
        EXPECT_EQ(value(V4L2_CID_POWER_LINE_FREQUENCY), 0);
        d.reject();
    });
    click("source");
    EXPECT_EQ(value(V4L2_CID_BRIGHTNESS), 100);
    EXPECT_EQ(value(V4L2_CID_AUTO_WHITE_BALANCE), 0);
    EXPECT_EQ(value(V4L2_CID_POWER_LINE_FREQUENCY), 2);

    // Reset to defaults, then OK: the defaults stay, and the dialog shows them.
    onDialog<CVideoSourceDialog>([&](CVideoSourceDialog& d) {
        d.findChild<QPushButton*>("resetToDefaults")->click();
        EXPECT_EQ(qobject_cast<QSlider*>(d.widgetFor(V4L2_CID_BRIGHTNESS))->value(), 128);
        EXPECT_TRUE(
            qobject_cast<QCheckBox*>(d.widgetFor(V4L2_CID_AUTO_WHITE_BALANCE))->isChecked());
        EXPECT_EQ(
            qobject_cast<QComboBox*>(d.widgetFor(V4L2_CID_POWER_LINE_FREQUENCY))->currentText(),
            "50 Hz");
        d.accept();
    });
    click("source");
    EXPECT_EQ(value(V4L2_CID_BRIGHTNESS), 128);
    EXPECT_EQ(value(V4L2_CID_AUTO_WHITE_BALANCE), 1);
    EXPECT_EQ(value(V4L2_CID_POWER_LINE_FREQUENCY), 1);
}

// A camera that takes 0.6 s for each control: opening the dialog, moving a control, Reset and
// Cancel wait beside the window, which keeps answering (its timers run within 0.2 s) under a
// wait cursor; a camera gone shows why under the controls.
TEST_F(DevicePage, TheSourceDialogWaitsForAStalledCameraBesideTheWindow)
{
    using T = CaptureControl::Type;
    camera().controls[V4L2_CID_BRIGHTNESS] =
        control(V4L2_CID_BRIGHTNESS, "Brightness", T::Integer, 0, 255, 128, 100);
    camera().controls[V4L2_CID_CONTRAST] =
        control(V4L2_CID_CONTRAST, "Contrast", T::Integer, 0, 255, 32, 40);
    startHub(cams, true);
    openSheet();
    auto value = [this](std::uint32_t id) { return camera().controls.at(id).value; };

    cams->controlStallMs = 600;
    std::vector<std::pair<const char*, Answer>> answers;
    QString error;
    onDialog<CVideoSourceDialog>([&](CVideoSourceDialog& d) {
        auto* slider = qobject_cast<QSlider*>(d.widgetFor(V4L2_CID_BRIGHTNESS));
        ASSERT_TRUE(slider);
        answers.emplace_back("move", measure([&] { slider->setValue(200); }));
        EXPECT_EQ(value(V4L2_CID_BRIGHTNESS), 200);
        answers.emplace_back("reset", measure([&] { d.resetToDefaults(); }));
        EXPECT_EQ(value(V4L2_CID_BRIGHTNESS), 128);
        EXPECT_EQ(value(V4L2_CID_CONTRAST), 32);
        cams->unplug(kCam);
        slider->setValue(10);
        auto* label = d.findChild<QLabel*>("controlError");
        EXPECT_FALSE(label->isHidden());
        error = label->text();
        cams->replug(kCam, "Fake Cam");
        d.reject();
    });
    answers.emplace_back("open", measure([&] { click("source"); }));
    ASSERT_EQ(answers.size(), 3u);
    expectAnswered(answers);
    EXPECT_TRUE(error.startsWith("Brightness: ")) << error.toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A camera whose format calls hang: the Format dialog reads the sizes it offers, and its OK sets
// the chosen one, beside the window, which keeps answering under a wait cursor; the dialog still
// offers every size and the camera takes the chosen one.
TEST_F(DevicePage, TheFormatDialogWaitsForAStalledCameraBesideTheWindow)
{
    startHub(cams, true);
    openSheet();
    cams->formatStallMs = 150;
    std::vector<std::pair<const char*, Answer>> answers;
    std::vector<FrameSize> offered;
    onDialog<CVideoFormatDialog>([&](CVideoFormatDialog& d) {
        offered = d.sizes();
        EXPECT_EQ(d.selectedSize(), (FrameSize{640, 480}));
        d.selectSize({320, 240});
        answers.emplace_back("OK", measure([&] { d.accept(); }));
    });
    answers.emplace_back("open", measure([&] { click("format"); }));
    ASSERT_EQ(answers.size(), 2u);
    expectAnswered(answers);
    EXPECT_EQ(offered, (std::vector<FrameSize>{{160, 120}, {320, 240}, {640, 480}, {1280, 720}}));
    EXPECT_EQ(camera().current, (FrameSize{320, 240}));
    cams->formatStallMs = 0;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Tab goes down the page: the driver, its Format/Source/Display row, then the network camera
// row, then the preview options (disabled buttons are passed over).
TEST_F(DevicePage, TabGoesDownThePage)
{
    camera().controls[V4L2_CID_BRIGHTNESS] =
        control(V4L2_CID_BRIGHTNESS, "Brightness", CaptureControl::Type::Integer, 0, 255, 1, 1);
    startHub(cams);
    set("DeviceOptions", "DisablePreview", 1);
    openSheet();
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
    find<QWidget>("captureDriver")->setFocus();
    QStringList order;
    for (int i = 0; i < 7; ++i) {
        QWidget* w = QApplication::focusWidget();
        while (w && w->objectName().isEmpty())
            w = w->parentWidget(); // an up-down control's edit
        order << (w ? w->objectName() : QStringLiteral("none"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order.join(' ').toStdString(),
              "captureDriver format source addCamera previewRate disablePreview previewLeadTime");
}

TEST_F(DevicePage, TheDriverListAndAChangeOfDriver)
{
    startHub(cams);
    set("DeviceOptions", "DisablePreview", 0);
    openSheet();
    auto* list = find<QComboBox>("captureDriver");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "Fake Cam");
    EXPECT_EQ(list->itemText(1), "Test Pattern"); // always last
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(find<CUpDownEdit>("previewRate")->edit()->text(), "25");
    EXPECT_FALSE(find<CUpDownEdit>("previewLeadTime")->isEnabled());
    click("disablePreview");
    EXPECT_TRUE(find<CUpDownEdit>("previewLeadTime")->isEnabled());

    list->setCurrentIndex(1);
    type("previewRate", QStringLiteral("30"));
    sheet->applyButton()->click();
    EXPECT_EQ(hub->ShownCapture().device->name(), "Test Pattern");
    EXPECT_FALSE(hub->ShownCapture().device->isPreviewing());
    EXPECT_EQ(hub->ShownCapture().device->previewPeriod(), 33);
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("ImageFormat/CaptureDevice"), "1");
    EXPECT_EQ(keys.at("DeviceOptions/DisablePreview"), "1");
    EXPECT_EQ(keys.at("DeviceOptions/PreviewRate"), "30");
    EXPECT_EQ(keys.at("ImageFormat/Width"), "640"); // the camera's, stored before the switch
    EXPECT_FALSE(find<QPushButton>("source")->isEnabled());
    EXPECT_TRUE(find<QPushButton>("format")->isEnabled());

    // Eleven cameras: only the first ten are listed, and the test pattern has no room.
    sheet.reset();
    for (int i = 1; i <= 10; ++i)
        cams->addCamera("/dev/video" + std::to_string(i), "Cam " + std::to_string(i));
    openSheet();
    EXPECT_EQ(find<QComboBox>("captureDriver")->count(), 10);
    EXPECT_EQ(find<QComboBox>("captureDriver")->itemText(9), "Cam 9");
}

// Add, Edit and Remove change the list at once and the file only on OK or Apply: Cancel undoes
// them. Remove asks first.
TEST_F(DevicePage, NetworkCameraChangesAreStoredWithThePageAndRemoveAsks)
{
    // Without the network-camera module, which the page names once a camera is configured.
    TempDir empty;
    ScopedEnv noModule("VISTREL_NETCAM_DIR", empty.path());
    set("ImageFormat", "CaptureDevice", 1); // the test pattern, after the fake camera
    startHub(cams);
    const auto before = fileKeys();
    openSheet();
    auto* list = find<QComboBox>("captureDriver");
    auto* version = find<QLabel>("driverVersion");
    auto* moduleNote = find<QLabel>("netcamModule");
    EXPECT_TRUE(moduleNote->isHidden());
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(version->text(), "built in");
    EXPECT_EQ(find<QPushButton>("addCamera")->text(), "A&dd...");
    EXPECT_TRUE(find<QPushButton>("addCamera")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("editCamera")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("removeCamera")->isEnabled());

    // Refusals first, then a camera with a user and password.
    auto addPorch = [&] {
        onDialog<CNetworkCameraDialog>([&](CNetworkCameraDialog& d) {
            d.accept();
            d.findChild<QLineEdit*>("cameraName")->setText("Porch");
            d.findChild<QLineEdit*>("cameraUrl")->setText("ftp://cam/x.jpg");
            d.accept();
            d.findChild<QLineEdit*>("cameraUrl")->setText("http://10.9.9.9/snap.jpg");
            d.findChild<QLineEdit*>("cameraUser")->setText("admin");
            d.findChild<QLineEdit*>("cameraPassword")->setText("pass word");
            d.accept();
        });
        click("addCamera");
    };
    addPorch();
    EXPECT_EQ(prompter.texts(), (std::vector<std::string>{CNetworkCameraDialog::kNoNameText,
                                                          CNetworkCameraDialog::kBadUrlText}));
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(1), "Porch");
    EXPECT_EQ(list->currentIndex(), 1); // the new camera is chosen
    EXPECT_EQ(version->text(), "http://10.9.9.9/snap.jpg");
    EXPECT_FALSE(moduleNote->isHidden());
    EXPECT_EQ(moduleNote->text().toStdString(),
              "Network cameras need the vistrel-netcam package, which is not installed (" +
                  empty.path() + "/netcam.so is missing).");
    EXPECT_TRUE(find<QPushButton>("editCamera")->isEnabled());
    EXPECT_EQ(fileKeys(), before); // nothing stored yet
    click("cancel");
    EXPECT_EQ(fileKeys(), before);
    EXPECT_EQ(hub->ShownCapture().device->name(), "Test Pattern");

    // Added again and applied, with the test pattern kept as the choice.
    sheet.reset();
    openSheet();
    list = find<QComboBox>("captureDriver");
    version = find<QLabel>("driverVersion");
    addPorch();
    list->setCurrentIndex(2);
    click("apply");
    auto keys = fileKeys();
    EXPECT_EQ(keys.at("NetworkCameras/Camera1Name"), "Porch");
    EXPECT_EQ(keys.at("NetworkCameras/Camera1Username"), "admin");
    EXPECT_NE(keys.at("NetworkCameras/Camera1Password"), "pass word"); // scrambled
    EXPECT_EQ(keys.at("ImageFormat/CaptureDevice"), "2"); // the test pattern, moved by one

    // Edit shows what is kept, the password in clear; the change waits for OK or Apply.
    list->setCurrentIndex(1);
    onDialog<CNetworkCameraDialog>([&](CNetworkCameraDialog& d) {
        EXPECT_EQ(d.camera(), (NetworkCameraKeys{1, "Porch", "http://10.9.9.9/snap.jpg", "admin",
                                                 "pass word"}));
        d.findChild<QLineEdit*>("cameraUrl")->setText("rtsp://10.9.9.9/live");
        d.accept();
    });
    click("editCamera");
    EXPECT_EQ(version->text(), "rtsp://10.9.9.9/live");
    EXPECT_EQ(fileKeys().at("NetworkCameras/Camera1URL"), "http://10.9.9.9/snap.jpg");

    // Remove asks; No keeps the camera, Yes takes it out of the list and chooses the test pattern.
    prompter.clear();
    prompter.setNextAnswer(false);
    click("removeCamera");
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_TRUE(prompter.shown()[0].question);
    EXPECT_EQ(prompter.shown()[0].text, "Remove the network camera \"Porch\"?");
    EXPECT_EQ(list->count(), 3);
    prompter.setNextAnswer(true);
    click("removeCamera");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentText(), "Test Pattern");
    EXPECT_TRUE(find<QLabel>("netcamModule")->isHidden()); // no network camera left
    // Cancel: the stored camera and choice stay as applied.
    click("cancel");
    keys = fileKeys();
    EXPECT_EQ(keys.at("NetworkCameras/Camera1URL"), "http://10.9.9.9/snap.jpg");
    EXPECT_EQ(keys.at("ImageFormat/CaptureDevice"), "2");

    // Removed and stored with OK.
    sheet.reset();
    openSheet();
    find<QComboBox>("captureDriver")->setCurrentIndex(1);
    prompter.setNextAnswer(true);
    click("removeCamera");
    click("ok");
    keys = fileKeys();
    EXPECT_EQ(keys.at("NetworkCameras/Camera1URL"), "");
    EXPECT_EQ(keys.at("ImageFormat/CaptureDevice"), "1");
    EXPECT_EQ(hub->ShownCapture().device->name(), "Test Pattern");
}

TEST_F(DevicePage, ANetworkCameraConnectsWithItsOwnSizeAndReconnectsWhenEdited)
{
    HttpCameraServer server;
    std::string log;
    ASSERT_TRUE(server.start(0, &log)) << log;
    set("NetworkCameras", "Camera2Name", std::string("Yard"));
    set("NetworkCameras", "Camera2URL", server.url("/snap.jpg"));
    startHub(cams);
    openSheet();
    auto* list = find<QComboBox>("captureDriver");
    ASSERT_EQ(list->count(), 3);
    ASSERT_EQ(list->itemText(1), "Yard");
    list->setCurrentIndex(1);
    sheet->applyButton()->click();
    const auto device = hub->ShownCapture().device;
    EXPECT_EQ(device->name(), "Yard");
    EXPECT_EQ(hub->DriverInfo(), "Yard\n160 x 120, 24 bit color");
    EXPECT_FALSE(find<QPushButton>("source")->isEnabled());

    // The Format dialog offers the camera's size and no other.
    std::vector<FrameSize> offered;
    QString formats;
    onDialog<CVideoFormatDialog>([&](CVideoFormatDialog& d) {
        offered = d.sizes();
        formats = d.findChild<QLabel*>("pixelFormats")->text();
        d.accept();
    });
    click("format");
    EXPECT_EQ(offered, (std::vector<FrameSize>{{160, 120}}));
    EXPECT_TRUE(formats.contains("The camera sends JPEG")) << formats.toStdString();

    // Another address for the camera in use: Apply connects it again.
    onDialog<CNetworkCameraDialog>([&](CNetworkCameraDialog& d) {
        d.findChild<QLineEdit*>("cameraUrl")->setText(FromStd(server.url("/snap.png")));
        d.accept();
    });
    click("editCamera");
    sheet->applyButton()->click();
    ASSERT_NE(hub->ShownCapture().device, device);
    EXPECT_EQ(hub->ShownCapture().device->pixelFormats(), std::vector<std::string>{"PNG"});
}

} // namespace
} // namespace vistrel::test
