// The main window: layout, the Capture button through a cycle, the tray, failure boxes, the
// shutdown with a stuck upload, one window of each kind, minimising, and a camera that goes.
#include "FakeV4l2.h"
#include "MainWindowSupport.h"
#include "ScriptedFtpServer.h"

#include "config/SettingsFile.h"
#include "dialup/CDialUpManager.h"
#include "ui/AboutBox.h"
#include "ui/DialogUnits.h"
#include "ui/HelpWindow.h"
#include "ui/ImageView.h"
#include "ui/PreviewWidget.h"
#include "ui/WindowUtils.h"
#include "ui/sheet/CMyPropertySheet.h"
#include "widgets/SessionEnd.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>

namespace vistrel::test {
namespace {

using Id = CMainDialog::Command;

TEST(PreviewPlacement, SmallPicturesAreCentredAndLargeOnesCut)
{
    EXPECT_EQ(PlacePreviewGeometry(160, 120), (PreviewGeometry{80, 60, 160, 120}));
    EXPECT_EQ(PlacePreviewGeometry(640, 480), (PreviewGeometry{0, 0, 320, 240}));
    EXPECT_EQ(PlacePreviewGeometry(320, 200), (PreviewGeometry{0, 20, 320, 200}));
    EXPECT_EQ(PlacePreviewGeometry(320, 240), (PreviewGeometry{0, 0, 320, 240}));
    EXPECT_EQ(PlacePreviewGeometry(400, 100), (PreviewGeometry{0, 0, 320, 240}));
    EXPECT_EQ(PlacePreviewGeometry(161, 121), (PreviewGeometry{80, 60, 161, 121}));
    EXPECT_EQ(PreviewWindowRect(10, 20, PlacePreviewGeometry(160, 120)),
              (PreviewGeometry{92, 82, 160, 120}));
}

TEST_F(MainWindowTest, LayoutInDialogUnitsWithItsTextsAndNoDefaultButton)
{
    start();
    const DialogBaseUnits units = BaseUnitsOf(window->font());
    EXPECT_EQ(window->size(), DialogUnitsToPixels(units, 0, 0, 367, 162).size());
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), "Vistrel");
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);

    const std::pair<int, const char*> buttons[] = {
        {Id::kIdCapture, "&Capture"}, {Id::kIdSettings, "&Settings"}, {Id::kIdView, "&View"},
        {Id::kIdAbout, "&About"},     {Id::kIdHelp, "&Help"},         {Id::kIdExit, "E&xit"}};
    // No default button: only the focused one takes Enter, as in any dialog.
    for (const auto& [id, text] : buttons) {
        SCOPED_TRACE(text);
        EXPECT_EQ(window->button(id)->text(), text);
        EXPECT_EQ(window->button(id)->isDefault(), window->button(id)->hasFocus());
    }
    QStringList labels;
    for (const QLabel* l : window->findChildren<QLabel*>())
        if (!l->isEnabled())
            labels << l->text();
    EXPECT_EQ(labels, QStringList{"tessel software"});

    // The test pattern's 320 x 240 fills the preview area, two pixels inside the frame.
    const QRect frame = window->previewFrame()->geometry();
    EXPECT_EQ(frame, DialogUnitsToPixels(units, 6, 5, 215, 150));
    EXPECT_EQ(window->preview()->geometry(),
              QRect(frame.topLeft() + QPoint(2, 2), QSize(320, 240)));
    EXPECT_EQ(driverText(), "Test Pattern\n320 x 240, 24 bit color");
    EXPECT_TRUE(waitFor([&] { return window->preview()->FramesShown() > 2; }));
    EXPECT_EQ(window->preview()->Picture().size(), QSize(320, 240));
}

TEST_F(MainWindowTest, CaptureIsDisabledFromTheTriggerUntilTheCycleIsDone)
{
    start();
    QPushButton* capture = window->button(Id::kIdCapture);
    QTest::mouseClick(capture, Qt::LeftButton);
    EXPECT_FALSE(capture->isEnabled());
    window->UpdateTrayMenu();
    EXPECT_FALSE(window->trayAction(Id::kIdCapture)->isEnabled());
    window->trayAction(Id::kIdCapture)->trigger(); // a second request is ignored
    ASSERT_EQ(waitCycle(), 1);
    EXPECT_TRUE(capture->isEnabled());
    EXPECT_TRUE(window->trayAction(Id::kIdCapture)->isEnabled());
    EXPECT_EQ(status().toStdString(), window->hub().LastCapture());
    EXPECT_EQ(waitCycle(1500), -1); // no second cycle was queued
}

// What the settings file holds that the program cannot use as written is on the status line at
// start, the whole list in its tooltip; the next status takes both away.
TEST_F(MainWindowTest, TheSettingsFilesWarningsShowOnTheStatusLineOnce)
{
    set("UploadOptions", "PassiveMode", "true");
    set("UploadOptions", "FTPServr", "typo.example.org");
    start();
    const QString tip = window->statusField()->toolTip();
    EXPECT_TRUE(status().startsWith("unknown key FTPServr in [UploadOptions]"))
        << status().toStdString();
    EXPECT_TRUE(status().endsWith("(and 1 more: point here for all)")) << status().toStdString();
    EXPECT_TRUE(tip.contains("did you mean FTPServer?")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("UploadOptions/PassiveMode=true is not a number: read as 0 (active "
                             "mode); use 1 or 0"))
        << tip.toStdString();

    QTest::mouseClick(window->button(Id::kIdCapture), Qt::LeftButton);
    ASSERT_EQ(waitCycle(), 1);
    EXPECT_EQ(status().toStdString(), window->hub().LastCapture());
    EXPECT_EQ(window->statusField()->toolTip(), QString());
}

// The tray's tip and picture through every state; tips over 63 characters are not taken.
TEST_F(MainWindowTest, TrayTipsAndIconsFollowTheCycleAndAutoCapture)
{
    ScriptedFtpServer server;
    ASSERT_TRUE(server.start());
    useServer(server.port());
    set("Options", "HideWhenMinimized", 1);
    start();
    CSystemTray& tray = window->tray();
    ASSERT_TRUE(tray.IsShown());
    EXPECT_EQ(tray.TooltipText(), "Vistrel");
    EXPECT_EQ(tray.Icon(), kIconNormal);

    std::vector<std::pair<QString, int>> seen;
    QObject::connect(&window->hub(), &Hub::trayIconChanged, window.get(),
                     [&](int) { seen.emplace_back(tray.TooltipText(), tray.Icon()); });
    QTest::mouseClick(window->button(Id::kIdCapture), Qt::LeftButton);
    ASSERT_EQ(waitCycle(), 1);
    const QString last = QString::fromStdString(window->hub().LastCapture());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(QString("Capturing..."), int(kIconCapturing)));
    EXPECT_EQ(seen[1], std::make_pair("Last Capture: " + last, int(kIconNormal)));

    window->windowMenu()->actions().front()->trigger(); // Auto-Capture off
    EXPECT_EQ(tray.TooltipText(), "Last Capture: " + last + "\nAuto-Capture Disabled");
    EXPECT_EQ(tray.Icon(), kIconAutoCaptureOff);
    EXPECT_EQ(status(), last + "\nAuto-Capture Disabled");
    window->UpdateTrayMenu();
    EXPECT_FALSE(window->trayAction(Id::kIdAutoCapture)->isChecked());
    window->trayAction(Id::kIdAutoCapture)->trigger(); // and on again, from the tray
    EXPECT_EQ(tray.Icon(), kIconNormal);
    window->UpdateTrayMenu();
    EXPECT_TRUE(window->trayAction(Id::kIdAutoCapture)->isChecked());

    // A failure whose tip fits: the red picture and the reason.
    server.reply("PASS", "530 No.");
    QTest::mouseClick(window->button(Id::kIdCapture), Qt::LeftButton);
    ASSERT_EQ(waitCycle(), 0);
    EXPECT_EQ(tray.Icon(), kIconFailed);
    EXPECT_EQ(tray.TooltipText(), "Last Capture: FTP Error: 530 No.\n");
    // One that does not fit is shortened: the tip never keeps an old progress text.
    const std::string longReply = "530 " + std::string(60, 'x');
    server.reply("PASS", longReply);
    QTest::mouseClick(window->button(Id::kIdCapture), Qt::LeftButton);
    ASSERT_EQ(waitCycle(), 0);
    const QString full = QString::fromStdString("Last Capture: FTP Error: " + longReply);
    EXPECT_EQ(tray.TooltipText(), full.left(60) + "...");
    EXPECT_EQ(tray.TooltipText().size(), CSystemTray::kMaxTipLength);
    // The status field shows what fits in its three lines and the whole reason as its tip.
    EXPECT_EQ(window->statusField()->toolTip().toStdString(), "FTP Error: " + longReply + "\n");
    EXPECT_TRUE(tray.SetTooltipText(QString(63, 'y'))); // the longest tip taken whole
    EXPECT_EQ(tray.TooltipText(), QString(63, 'y'));
}

// Without the option, or on a desktop without a tray, there is no icon, and minimising must not
// hide the window: nothing would lead back to it.
TEST_F(MainWindowTest, WithoutTheOptionOrATrayMinimisingKeepsTheWindow)
{
    for (const auto& [option, available] : {std::pair{0, true}, std::pair{1, false}}) {
        SCOPED_TRACE(option);
        trayAvailable = available;
        set("Options", "HideWhenMinimized", option);
        start();
        EXPECT_FALSE(window->tray().IsShown());
        window->showMinimized();
        pump(50);
        EXPECT_TRUE(window->isVisible());
        stop();
    }
}

TEST_F(MainWindowTest, MinimisingHidesIntoTheTrayAndShowWindowBringsItBack)
{
    set("Options", "HideWhenMinimized", 1);
    start();
    window->showMinimized();
    ASSERT_TRUE(waitFor([&] { return !window->isVisible(); }));
    EXPECT_TRUE(HiddenInTray(window.get()));

    // While hidden, its dialogs get a taskbar entry of their own and the program's icon.
    window->OnAbout();
    QWidget* about = FindTopLevelWindow(kAboutTitle);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->parentWidget(), nullptr);
    EXPECT_EQ(about->windowType(), Qt::Window);
    EXPECT_FALSE(about->windowIcon().isNull());
    about->close();

    emit window->tray().TrayIcon().activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(waitFor([&] { return window->trayMenu()->isVisible(); }));
    window->trayMenu()->hide();
    window->trayAction(Id::kIdShowWindow)->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());

    // Shown, they are dialogs of the main window, modal to it only.
    window->OnAbout();
    about = FindTopLevelWindow(kAboutTitle);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->parentWidget(), window.get());
    EXPECT_EQ(about->windowModality(), Qt::WindowModal);

    // The General page switching the tray off shows a hidden window again.
    window->showMinimized();
    ASSERT_TRUE(waitFor([&] { return !window->isVisible(); }));
    set("Options", "HideWhenMinimized", 0);
    window->hub().ApplySettingsPage(ReloadGroup::General);
    EXPECT_FALSE(window->tray().IsShown());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, FailureBoxUnlessATimerCycleSuppressesIt)
{
    ScriptedFtpServer server;
    ASSERT_TRUE(server.start());
    useServer(server.port());
    struct Case {
        bool timer;
        int suppress;
        bool box;
    };
    for (const Case c :
         {Case{false, 1, true}, Case{true, 1, false}, Case{true, 0, true}, Case{false, 0, true}}) {
        SCOPED_TRACE(std::to_string(c.timer) + " " + std::to_string(c.suppress));
        set("UploadOptions", "SuppressErrors", c.suppress);
        set("Options", "ErrorLog", 1);
        start();
        prompter.clear();
        server.reply("PASS", "530 Login incorrect.");
        if (c.timer)
            window->hub().OnTimer();
        else
            window->OnCapture();
        ASSERT_EQ(waitCycle(), 0);
        const std::vector<std::string> expected =
            c.box ? std::vector<std::string>{"FTP Error: 530 Login incorrect.\n"}
                  : std::vector<std::string>{};
        EXPECT_EQ(prompter.texts(), expected);
        EXPECT_NE(readFile(program + "error.log").find("FTP Error: 530"), std::string::npos);
        stop();
    }
}

TEST_F(MainWindowTest, ExitDuringAStalledUploadEndsWithinSixSecondsAndTheWorkerEndsLater)
{
    auto server = std::make_unique<ScriptedFtpServer>();
    server->dataFault(ScriptedFtpServer::DataFault::StallRead);
    server->dataReceiveBuffer(4096);
    ASSERT_TRUE(server->start());
    useServer(server->port());
    set("UploadOptions", "FTPTimeOut", 60);
    set("ImageOptions", "Quality", 100);
    set("UploadOptions", "CurrentUpload", 0);
    set("UploadOptions", "ArchiveInterval", 5);
    start();
    window->OnCapture();
    // The upload is under way and stuck: the server has the STOR and reads nothing.
    ASSERT_TRUE(waitFor([&] {
        for (const std::string& command : server->transcript())
            if (command.rfind("STOR ", 0) == 0)
                return true;
        return false;
    }));
    ASSERT_TRUE(window->hub().CycleRunning());
    window->OnAbout();

    // Answered No, nothing happens; answered Yes, it ends.
    prompter.setNextAnswer(false);
    EXPECT_FALSE(window->OnCancel());
    EXPECT_TRUE(window->isVisible());
    prompter.setNextAnswer(true);
    const auto t0 = std::chrono::steady_clock::now();
    QTest::mouseClick(window->button(Id::kIdExit), Qt::LeftButton);
    EXPECT_LT(msSince(t0), 6000);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->WorkerAbandoned());
    EXPECT_EQ(driverText(), "Disconnecting...");
    const auto questions = prompter.shown();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].text, CMainDialog::kQuitQuestion);
    EXPECT_TRUE(questions[0].question);
    EXPECT_EQ(IniReadInt("UploadOptions", "CurrentUpload", -1), 1); // the counter is saved
    pump(100);
    EXPECT_EQ(FindTopLevelWindow(kAboutTitle), nullptr);

    // The window and the hub go; the worker, set free when the server goes, ends by itself and
    // lets go of what it kept alive.
    std::weak_ptr<CDialUpManager> kept = dialUp;
    dialUp.reset();
    window.reset();
    EXPECT_FALSE(kept.expired());
    server.reset();
    EXPECT_TRUE(waitFor([&] { return kept.expired(); }, 20000));
}

TEST_F(MainWindowTest, OneWindowOfEachKindASecondRequestBringsItToTheFront)
{
    int sheets = 0;
    sheet = [&](QWidget* mainWindow) {
        ++sheets;
        QDialog dialog(mainWindow);
        dialog.setWindowTitle(kSettingsTitle);
        PrepareDialogOfMainWindow(&dialog, mainWindow);
        QTimer::singleShot(0, &dialog, [&] {
            window->UpdateTrayMenu();
            EXPECT_FALSE(window->trayAction(Id::kIdSettings)->isEnabled());
            window->trayAction(Id::kIdSettings)->trigger();
            EXPECT_EQ(sheets, 1);
            dialog.accept();
        });
        return dialog.exec() == QDialog::Accepted;
    };
    start();
    set("License", "INIVersion", 7);
    window->OnSettings();
    EXPECT_EQ(sheets, 1);
    EXPECT_EQ(IniReadInt("License", "INIVersion", 0), 1005); // OK records the layout
    EXPECT_TRUE(window->button(Id::kIdSettings)->isEnabled());

    struct Case {
        int id;
        const char* title;
    };
    for (const Case c : {Case{Id::kIdAbout, kAboutTitle}, Case{Id::kIdView, kImageViewTitle}}) {
        SCOPED_TRACE(c.title);
        window->trayAction(c.id)->trigger();
        QWidget* first = FindTopLevelWindow(c.title);
        ASSERT_TRUE(first);
        EXPECT_FALSE(window->button(c.id)->isEnabled());
        window->activateWindow();
        window->trayAction(c.id)->trigger();
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            count += w->isVisible() && w->windowTitle() == c.title;
        EXPECT_EQ(count, 1);
        EXPECT_TRUE(waitFor([&] { return QApplication::activeWindow() == first; }));
        first->close();
        EXPECT_TRUE(waitFor([&] { return window->button(c.id)->isEnabled(); }));
    }
}

// The program's own settings sheet: at the first start after help topic 80 (cancelled: nothing
// is written, the layout marker included), then from Alt+S, where OK on the Device tab writes
// the Device page's keys and the marker only.
TEST_F(MainWindowTest, TheSettingsSheetAtTheFirstStartAndFromAltS)
{
    auto keysOf = [] {
        std::map<std::string, std::string> keys;
        std::ifstream in(SettingsFilePath());
        std::string line, section;
        while (std::getline(in, line)) {
            if (!line.empty() && line.front() == '[')
                section = line.substr(1, line.find(']') - 1);
            else if (const auto eq = line.find('='); eq != std::string::npos)
                keys[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
        }
        return keys;
    };
    // Closes the sheet with a key as soon as it is the modal window (start() shows it); gives up
    // after ten seconds, *seen staying false.
    auto answerSheet = [](Qt::Key key, bool* seen) {
        auto* poll = new QTimer;
        const auto t0 = std::chrono::steady_clock::now();
        QObject::connect(poll, &QTimer::timeout, [poll, key, seen, t0] {
            QWidget* open = FindTopLevelWindow(kSettingsTitle);
            const bool shown = open && QApplication::activeModalWidget() == open;
            if (shown) {
                *seen = true;
                QTest::keyClick(open, key);
            }
            if (shown || msSince(t0) > 10000) {
                poll->stop();
                poll->deleteLater();
            }
        });
        poll->start(10);
    };
    set("License", "INIVersion", 0);
    const auto before = keysOf();
    bool seen = false;
    answerSheet(Qt::Key_Escape, &seen);
    start();
    EXPECT_TRUE(seen);
    EXPECT_EQ(CurrentHelpTopic(), 80);
    EXPECT_EQ(keysOf(), before);
    CloseHelpWindow();

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    seen = false;
    answerSheet(Qt::Key_Enter, &seen);
    QTest::keyClick(window->windowHandle(), Qt::Key_S, Qt::AltModifier);
    // A mnemonic clicks its button a moment later, as if pressed and let go.
    EXPECT_TRUE(waitFor([&] { return seen && window->button(Id::kIdSettings)->isEnabled(); }));
    std::set<std::string> written;
    const auto after = keysOf();
    for (const auto& [key, value] : after)
        if (!before.count(key) || before.at(key) != value)
            written.insert(key);
    const std::set<std::string> deviceKeys = {"License/INIVersion",
                                              "ImageFormat/CaptureDevice",
                                              "ImageFormat/Size",
                                              "ImageFormat/Width",
                                              "ImageFormat/Height",
                                              "ImageFormat/Planes",
                                              "ImageFormat/BitCount",
                                              "ImageFormat/SizeImage",
                                              "DeviceOptions/PreviewLeadTime",
                                              "DeviceOptions/PreviewRate",
                                              "DeviceOptions/DisablePreview",
                                              "ImageFormat/Compression",
                                              "ImageFormat/XPelsPerMeter",
                                              "ImageFormat/YPelsPerMeter",
                                              "ImageFormat/ClrUsed",
                                              "ImageFormat/ClrImportant"};
    EXPECT_EQ(written, deviceKeys);
    EXPECT_EQ(after.at("License/INIVersion"), "1005");
    EXPECT_TRUE(window->button(Id::kIdSettings)->isEnabled());
}

// View while a cycle composes and publishes: in both modes the viewer shows a whole picture and
// the cycle's own file is left alone.
TEST_F(MainWindowTest, ViewInBothModesWhileTheWorkerComposes)
{
    for (int mode : {1, 0}) {
        SCOPED_TRACE(mode);
        set("Options", "ViewDisplaysLastUploadImage", mode);
        start();
        if (mode == 1) { // a picture to show
            window->OnCapture();
            ASSERT_EQ(waitCycle(), 1);
        }
        prompter.clear();
        window->OnCapture();
        window->OnView();
        auto* viewer = static_cast<CImageView*>(FindTopLevelWindow(kImageViewTitle));
        ASSERT_TRUE(viewer);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
        EXPECT_EQ(viewer->PictureSize(), QSize(320, 240));
        EXPECT_EQ(viewer->PictureArea()->viewport()->size(), QSize(320, 240));
        EXPECT_TRUE(prompter.texts().empty());
        ASSERT_TRUE(waitFor([&] { return window->button(Id::kIdCapture)->isEnabled(); }));
        EXPECT_TRUE(prompter.texts().empty()); // the cycle did not fail
        const std::string cycleFile = readFile(program + "~vistrel.jpg");
        EXPECT_EQ(readFile(dir.file("vistrel.jpg")), cycleFile); // what the cycle published
        if (mode == 0) {
            const std::string view = readFile(program + "pvvistrel.jpg");
            EXPECT_EQ(view.substr(0, 2), "\xFF\xD8");
            EXPECT_NE(view, cycleFile);
        }
        viewer->close();
        stop();
    }
    // Capture mode without a camera: the capture error, no viewer.
    set("ImageFormat", "CaptureDevice", 7);
    start();
    prompter.clear();
    window->OnView();
    EXPECT_EQ(FindTopLevelWindow(kImageViewTitle), nullptr);
    ASSERT_EQ(prompter.texts().size(), 1u);
    EXPECT_TRUE(window->button(Id::kIdView)->isEnabled());
}

// The last picture is put in place by a rename, so the viewer reads it at once even while a
// composition holds the lock (a cycle in its preview lead time); the fresh-picture View waits for
// that composition beside the window, which keeps answering.
TEST_F(MainWindowTest, ViewNeverHoldsTheWindowWhileACompositionRuns)
{
    for (int mode : {1, 0}) {
        SCOPED_TRACE(mode);
        set("Options", "ViewDisplaysLastUploadImage", mode);
        start();
        window->OnCapture();
        ASSERT_EQ(waitCycle(), 1);
        std::atomic<bool> release{false};
        std::atomic<bool> holding{false};
        std::thread composing([&] {
            window->hub().WhileNoComposition([&] {
                holding = true;
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            });
        });
        EXPECT_TRUE(waitFor([&] { return holding.load(); }));
        // The window's own loop answers throughout: a timer of 20 ms is never late by 200 ms.
        long long worstGap = 0;
        auto last = std::chrono::steady_clock::now();
        QTimer ping;
        QObject::connect(&ping, &QTimer::timeout, [&] {
            worstGap = std::max(worstGap, msSince(last));
            last = std::chrono::steady_clock::now();
        });
        ping.start(20);
        QTimer::singleShot(1500, [&] { release = true; });
        window->OnView();
        EXPECT_TRUE(waitFor([&] { return release.load(); })); // the viewer waited for it or not
        composing.join();
        ping.stop();
        EXPECT_LT(worstGap, 200);
        auto* viewer = static_cast<CImageView*>(FindTopLevelWindow(kImageViewTitle));
        ASSERT_TRUE(viewer);
        EXPECT_EQ(viewer->PictureSize(), QSize(320, 240));
        viewer->close();
        stop();
    }
}

TEST_F(MainWindowTest, ACameraThatIsMissingOrUnpluggedShowsInTheDriverField)
{
    auto fake = std::make_shared<FakeV4l2>();
    fake->addCamera("/dev/video0", "USB Camera");
    cameras = fake;
    start();
    EXPECT_TRUE(driverText().startsWith("USB Camera\n640 x 480"));
    ASSERT_TRUE(waitFor([&] { return window->preview()->FramesShown() > 0; }));
    EXPECT_EQ(window->preview()->size(), QSize(320, 240)); // the top-left part of 640 x 480

    fake->unplug("/dev/video0");
    ASSERT_TRUE(waitFor([&] { return window->preview()->PictureLost(); }, 6000));
    EXPECT_TRUE(driverText().startsWith("USB Camera\nNo picture: ")) << driverText().toStdString();
    window->OnCapture(); // the window keeps working: the cycle fails and says so
    EXPECT_EQ(waitCycle(), 0);

    fake->replug("/dev/video0", "USB Camera");
    ASSERT_TRUE(waitFor([&] { return !window->preview()->PictureLost(); }, 6000));
    EXPECT_TRUE(driverText().startsWith("USB Camera\n640 x 480"));

    // A driver that is not there: said at once; the test pattern can be chosen again.
    set("ImageFormat", "CaptureDevice", 5);
    window->hub().ApplySettingsPage(ReloadGroup::Device);
    EXPECT_TRUE(driverText().startsWith("No capture device connected"));
    set("ImageFormat", "CaptureDevice", 1);
    window->hub().ApplySettingsPage(ReloadGroup::Device);
    EXPECT_EQ(driverText(), "Test Pattern\n320 x 240, 24 bit color");
    EXPECT_TRUE(waitFor([&] { return window->preview()->FramesShown() > 0; }));
}

// Leaving with the settings sheet open (the tray's Exit, or the end of the session): the sheet's
// Cancel runs first, with the driver still connected, then the program shuts down; nothing waits
// for a click. At the first start the sheet of the version check is closed the same way and is
// not asked for again.
TEST_F(MainWindowTest, LeavingWithTheSheetOpenClosesItFirst)
{
    struct Case {
        const char* what;
        bool firstStart;
        bool sessionEnd;
    };
    for (const Case c : {Case{"tray Exit", false, false}, Case{"session end", false, true},
                         Case{"session end at the first start", true, true}}) {
        SCOPED_TRACE(c.what);
        set("License", "INIVersion", c.firstStart ? 0 : 1005);
        int sheets = 0;
        int connectedAtCancel = -1;
        sheet = [&](QWidget* parent) {
            ++sheets;
            QDialog d(parent);
            QObject::connect(&d, &QDialog::rejected, [&] {
                connectedAtCancel = (window->hub().ShownCapture().device != nullptr) ? 1 : 0;
            });
            QTimer::singleShot(100, [&] {
                if (c.sessionEnd) {
                    BeginSessionEnd();
                    window->ShutDownWithoutAsking();
                } else {
                    window->trayAction(Id::kIdExit)->trigger();
                }
            });
            return d.exec() == QDialog::Accepted;
        };
        dialUp = std::make_shared<CDialUpManager>(prompter, "/nonexistent/librasapi32.so", "");
        drivers = std::make_unique<CaptureDriverList>(cameras);
        CMainDialog::Options options{&prompter,           dialUp, drivers.get(), {},
                                     [] { return true; }, sheet};
        options.hub.runBeside = &RunBeside;
        window = std::make_unique<CMainDialog>(std::move(options));
        bool finished = false;
        QObject::connect(window.get(), &QDialog::finished, [&] { finished = true; });
        prompter.clear();
        window->OnInitDialog();
        window->show();
        if (!c.firstStart) {
            ASSERT_TRUE(waitFor([&] { return window->IsRunning(); }));
            window->OnSettings();
        }
        ASSERT_TRUE(waitFor([&] { return finished; }, 8000));
        EXPECT_EQ(sheets, 1);
        EXPECT_EQ(connectedAtCancel, 1); // the driver goes only after the sheet's Cancel
        EXPECT_TRUE(prompter.texts().empty()) << prompter.texts().front();
        window.reset();
        ResetSessionEndForTesting();
    }
}

// Leaving (the tray's Exit, or the end of the session) while the sheet's directory browser lists
// or its Test window checks, against a server that never greets: the program ends at once, no
// click awaited, and the listing or check ends on its own thread by its time-out.
TEST_F(MainWindowTest, LeavingWhileTheSheetTalksToAServerEndsAtOnce)
{
    ScriptedFtpServer silent;
    silent.greeting(ScriptedFtpServer::Action{ScriptedFtpServer::Action::Stall, {}, 0});
    ASSERT_TRUE(silent.start());
    useServer(silent.port());
    set("UploadOptions", "FTPTimeOut", 2);
    set("Options", "UploadOnStart", 0);
    struct Case {
        const char* what;
        const char* button;
        bool sessionEnd;
    };
    for (const Case c :
         {Case{"browser, tray Exit", "browseDirectory", false},
          Case{"browser, session end", "browseDirectory", true},
          Case{"Test, tray Exit", "testFtp", false}, Case{"Test, session end", "testFtp", true}}) {
        SCOPED_TRACE(c.what);
        bool talking = false;
        sheet = [&](QWidget* parent) {
            CMyPropertySheet s(window->hub(), prompter, parent, SheetDialogs::Installed());
            s.setCurrentPage(CMyPropertySheet::LocationPage);
            QTimer::singleShot(300, [&] {
                talking = ThreadWorkRunning() > 0;
                if (c.sessionEnd) {
                    BeginSessionEnd();
                    window->ShutDownWithoutAsking();
                } else {
                    window->trayAction(Id::kIdExit)->trigger();
                }
            });
            QTimer::singleShot(
                0, [&] { s.findChild<QAbstractButton*>(QString::fromLatin1(c.button))->click(); });
            return s.exec() == QDialog::Accepted;
        };
        start();
        bool finished = false;
        QObject::connect(window.get(), &QDialog::finished, [&] { finished = true; });
        const auto t0 = std::chrono::steady_clock::now();
        window->OnSettings();
        EXPECT_TRUE(waitFor([&] { return finished; }, 1500));
        EXPECT_LT(msSince(t0), 1500);
        EXPECT_TRUE(talking);
        EXPECT_TRUE(prompter.texts().empty()) << prompter.texts().front();
        window.reset();
        EXPECT_TRUE(WaitForThreadWork(5000));
        ResetSessionEndForTesting();
        prompter.clear();
    }
}

// F1 works in every window of the program; the help window goes Back through the topics shown.
TEST_F(MainWindowTest, F1InEveryWindowAndBackInHelp)
{
    start();
    window->OnAbout();
    window->OnView();
    for (const char* title : {kAboutTitle, kImageViewTitle}) {
        SCOPED_TRACE(title);
        QWidget* w = FindTopLevelWindow(title);
        ASSERT_TRUE(w);
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        CloseHelpWindow();
        QTest::keyClick(w, Qt::Key_F1);
        EXPECT_EQ(CurrentHelpTopic(), kHelpMainWindow);
    }
    ShowHelpTopic(kHelpImagePage);
    ShowHelpTopic(kHelpDevicePage);
    QWidget* help = FindTopLevelWindow("Vistrel Help");
    ASSERT_TRUE(help);
    help->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));
    QTest::keyClick(help, Qt::Key_F1);
    EXPECT_EQ(CurrentHelpTopic(), kHelpMainWindow);
    QPushButton* back = nullptr;
    for (QPushButton* b : help->findChildren<QPushButton*>())
        if (b->text() == "&Back")
            back = b;
    ASSERT_TRUE(back);
    const int expected[] = {kHelpDevicePage, kHelpImagePage, kHelpMainWindow};
    for (int topic : expected) {
        back->click();
        EXPECT_EQ(CurrentHelpTopic(), topic);
    }
    EXPECT_FALSE(back->isEnabled()); // nothing before the first topic
    CloseHelpWindow();
}

// Automatic capture off from the start shows the paused state; a tray that appears after the
// program gets the icon, with its menu; a long error keeps "Auto-Capture Disabled" in sight.
TEST_F(MainWindowTest, PausedAtStartAndATrayThatComesLater)
{
    set("UploadOptions", "DisableUpload", 1);
    set("Options", "HideWhenMinimized", 1);
    trayAvailable = false;
    start();
    CSystemTray& tray = window->tray();
    EXPECT_FALSE(tray.IsShown());
    EXPECT_TRUE(status().endsWith("Auto-Capture Disabled")) << status().toStdString();
    trayAvailable = true;
    ASSERT_TRUE(waitFor([&] { return tray.IsShown(); }, 5000));
    EXPECT_EQ(tray.Icon(), kIconAutoCaptureOff);
    EXPECT_EQ(tray.TrayIcon().contextMenu(), window->trayMenu());

    const QString error = "FTP Error: 550 " + QString(200, 'x') + "\nsecond line\nthird line";
    emit window->hub().statusChanged(error + "\nAuto-Capture Disabled");
    const QStringList lines = status().split('\n');
    EXPECT_LE(lines.size(), 3);
    EXPECT_EQ(lines.back(), "Auto-Capture Disabled");
    EXPECT_EQ(window->statusField()->toolTip(), error + "\nAuto-Capture Disabled");
    const QFontMetrics metrics(window->statusField()->font());
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line), window->statusField()->width())
            << line.toStdString();
}

} // namespace
} // namespace vistrel::test
