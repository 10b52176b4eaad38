// The pages one by one: General (autostart, warnings, sound, tray), Connection (dial-up entries),
// Location (enabling, proxy and directory dialogs, file dialog, the FTP test), Image (the stamp
// values carried through) and Capture (archive time, pickers, the schedule applied).

#include "RealFtpServers.h"
#include "ScriptedFtpServer.h"
#include "SheetFixture.h"
#include "fake/FakeRasScript.h"

#include "config/SettingsFile.h"
#include "ftp/LogOnTable.h"
#include "platform/Autostart.h"
#include "ui/sheet/CapturePage.h"
#include "ui/sheet/ConnectionPage.h"
#include "ui/sheet/FileDialogs.h"
#include "ui/sheet/FtpTestDialog.h"
#include "ui/sheet/GeneralPage.h"
#include "ui/sheet/LocationPage.h"
#include "ui/sheet/PageRules.h"
#include "ui/sheet/UpDownEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimeEdit>

#include <filesystem>

namespace vistrel::test {
namespace {

using Sheet = CMyPropertySheet;

class GeneralPage : public SheetFixture {
  protected:
    // The test's settings file lies outside the configuration folder: its entry names its path.
    std::string name() const { return SettingsNameOf(SettingsFilePath()); }
    std::string expectedCommand() const { return AutostartCommand(RunningProgramPath(), name()); }
    std::string entry() const { return AutostartEntryPath(name()); }
    bool runAtStartShown()
    {
        openSheet(Sheet::GeneralPage);
        const bool checked = find<QCheckBox>("runAtStart")->isChecked();
        return checked;
    }
};

TEST_F(GeneralPage, TheAutostartEntryIsRecognisedWrittenAndDeleted)
{
    startHub();
    const std::string expected = expectedCommand();
    EXPECT_EQ(expected, AutostartCommand(RunningProgramPath()) + " " + name());
    EXPECT_FALSE(runAtStartShown());
    click("runAtStart");
    click("ok");
    EXPECT_TRUE(IsAutostartEnabled(expected, name()));
    EXPECT_NE(readFile(entry()).find("\nExec=" + expected + "\n"), std::string::npos);
    EXPECT_FALSE(fileExists(AutostartEntryPath())); // the default file's entry is another one
    sheet.reset();
    EXPECT_TRUE(runAtStartShown());
    sheet.reset();

    // An entry that starts the program some other way is not ours: shown off, and removed when
    // the page is stored with the box off.
    const std::vector<std::string> others = {"[Desktop Entry]\nExec=" + expected + " --minimized\n",
                                             "[Desktop Entry]\nExec=/elsewhere/vistrel\n",
                                             "[Desktop Entry]\nExec=" + expected +
                                                 "\nHidden=true\n"};
    for (const std::string& other : others) {
        SCOPED_TRACE(other);
        writeFile(entry(), other);
        EXPECT_FALSE(runAtStartShown());
        click("ok");
        EXPECT_FALSE(fileExists(entry()));
        sheet.reset();
    }
    EXPECT_TRUE(prompter.texts().empty());
}

TEST_F(GeneralPage, AnEntryThatCannotBeWrittenIsReportedAndTheRestStored)
{
    startHub();
    // A file where the autostart folder should be.
    std::filesystem::create_directories(dir.file("config"));
    writeFile(dir.file("config/autostart"), "");
    openSheet(Sheet::GeneralPage);
    click("runAtStart");
    click("runMinimized");
    click("ok");
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Unable to write the autostart entry"});
    EXPECT_EQ(fileKeys()["Options/RunMinimized"], "1");
}

TEST_F(GeneralPage, LoggingWarningsComeOnlyWhenALogIsTicked)
{
    startHub();
    set("UploadOptions", "FTPLog", 1);
    openSheet(Sheet::GeneralPage);
    click("ftpLog"); // off: nothing
    EXPECT_TRUE(prompter.texts().empty());
    click("ftpLog");
    click("errorLog");
    click("errorLog");
    EXPECT_EQ(prompter.texts(),
              (std::vector<std::string>{
                  "FTP Logging should be enabled for troubleshooting only!\nYour password will be "
                  "written to the log file unencrypted!",
                  "Error Logging should be enabled for troubleshooting only!\nIf left enabled "
                  "over a long period of time it could consume large amounts of drive space."}));
}

TEST_F(GeneralPage, TheSoundFileFollowsItsBoxAndItsChooser)
{
    startHub();
    openSheet(Sheet::GeneralPage);
    EXPECT_FALSE(edit("soundFile")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("chooseSoundFile")->isEnabled());
    EXPECT_EQ(edit("soundFile")->text(), "shutter.wav");
    click("useSound");
    EXPECT_TRUE(edit("soundFile")->isEnabled());
    ASSERT_TRUE(find<QPushButton>("chooseSoundFile")->isEnabled());

    std::vector<FileChooserRequest> asked;
    QString answer = QStringLiteral("/sounds/click.wav");
    SetFileChooserForTesting([&](const FileChooserRequest& r) {
        asked.push_back(r);
        return answer;
    });
    click("chooseSoundFile");
    answer.clear(); // the user cancels the second time
    click("chooseSoundFile");
    SetFileChooserForTesting({});
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].mode, FileChooserRequest::Mode::Open);
    EXPECT_EQ(asked[0].title, "Select Sound File");
    EXPECT_EQ(asked[0].filters, QStringList({"Sound Files (*.WAV *.wav)", "All files (*)"}));
    EXPECT_EQ(asked[0].defaultSuffix, "WAV");
    EXPECT_EQ(edit("soundFile")->text(), "/sounds/click.wav");

    auto* view = find<QComboBox>("viewButton");
    ASSERT_EQ(view->count(), 2);
    EXPECT_EQ(view->itemText(0), "Captures and displays current image");
    EXPECT_EQ(view->itemText(1), "Displays last image uploaded ");
    click("ok");
    EXPECT_EQ(fileKeys()["Options/SoundFile"], "/sounds/click.wav");
    EXPECT_EQ(fileKeys()["Options/UseSound"], "1");
}

TEST_F(GeneralPage, HideWhenMinimizedTellsTheWindowToAddOrRemoveTheTrayIcon)
{
    startHub();
    QSignalSpy tray(hub.get(), &Hub::trayInUseChanged);
    openSheet(Sheet::GeneralPage);
    click("hideWhenMinimized");
    sheet->applyButton()->click();
    click("runMinimized");
    sheet->applyButton()->click(); // no change of the tray: no signal
    click("hideWhenMinimized");
    click("ok");
    ASSERT_EQ(tray.count(), 2);
    EXPECT_TRUE(tray[0][0].toBool());
    EXPECT_FALSE(tray[1][0].toBool());
}

class ConnectionPage : public SheetFixture {};

TEST_F(ConnectionPage, WithoutDialUpSupportTheLanBoxStaysChecked)
{
    set("ConnectOptions", "DUN", std::string("Home ISP"));
    startHub(); // no provider: the hub has switched the file to the LAN
    openSheet(Sheet::ConnectionPage);
    auto* lan = find<QCheckBox>("useLan");
    ASSERT_TRUE(lan->isChecked());
    EXPECT_FALSE(find<QGroupBox>("modemConnection")->isEnabled());
    EXPECT_EQ(find<QComboBox>("dialUpEntry")->count(), 0);
    prompter.clear();
    lan->click();
    EXPECT_TRUE(lan->isChecked());
    EXPECT_FALSE(find<QGroupBox>("modemConnection")->isEnabled());
    EXPECT_EQ(prompter.texts(),
              std::vector<std::string>{"Vistrel was unable to load RAS (Dialup) support.\n"
                                       "Connection will be set to LAN or other direct "
                                       "connection"});
    // The empty list does not erase the stored entry.
    click("ok");
    EXPECT_EQ(fileKeys().at("ConnectOptions/DUN"), "Home ISP");
}

TEST_F(ConnectionPage, EntriesAreListedChosenByPrefixAndFillTheLogIn)
{
    FakeRas ras;
    ras("entry|Home ISP|555-0199|bob|hunter2");
    ras("entry|Work|555-0100|alice|opensesame");
    rasLibrary = FAKE_RAS_FULL;
    startHub();
    set("ConnectOptions", "DUN", std::string("wO")); // letters of either case, a prefix
    openSheet(Sheet::ConnectionPage);
    auto* list = find<QComboBox>("dialUpEntry");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "Home ISP");
    EXPECT_EQ(list->currentText(), "Work");
    EXPECT_FALSE(find<QGroupBox>("modemConnection")->isEnabled()); // UseLAN=1
    EXPECT_FALSE(sheet->applyButton()->isEnabled());

    click("useLan");
    EXPECT_TRUE(find<QGroupBox>("modemConnection")->isEnabled());
    EXPECT_TRUE(sheet->applyButton()->isEnabled());
    EXPECT_EQ(edit("password")->echoMode(), QLineEdit::Password);

    list->setCurrentIndex(0);
    emit list->activated(0); // what choosing an entry does
    EXPECT_EQ(edit("userName")->text(), "bob");
    EXPECT_EQ(edit("password")->text(), "hunter2");
    EXPECT_EQ(edit("phoneNumber")->text(), "555-0199");
    click("ok");
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("ConnectOptions/UseLAN"), "0");
    EXPECT_EQ(keys.at("ConnectOptions/DUN"), "Home ISP");
    EXPECT_EQ(keys.at("ConnectOptions/UserName"), "bob");
    EXPECT_NE(keys.at("ConnectOptions/Password"), "hunter2"); // stored scrambled
    EXPECT_EQ(IniReadPassword("ConnectOptions", "Password"), "hunter2");
    EXPECT_EQ(hub->Settings().m_strDUN, "Home ISP");
}

class LocationPage : public SheetFixture {
  protected:
    CMyPropertyPage2* page()
    {
        return static_cast<CMyPropertyPage2*>(sheet->page(Sheet::LocationPage));
    }
};

TEST_F(LocationPage, ControlsFollowTheirBoxes)
{
    startHub();
    set("UploadOptions", "FTPUpload", 0);
    dialogs.proxy = [](QWidget*, ProxySettings&) { return false; };
    dialogs.browseDirectory = [](QWidget*, const FtpBrowseSettings&, std::string&) {
        return false;
    };
    openSheet(Sheet::LocationPage);
    const char* ftpGroup[] = {"ftpServer",   "ftpUserName",     "ftpPassword",     "ftpDirectory",
                              "ftpFileName", "browseDirectory", "onlyWhileOnline", "passiveMode",
                              "useProxy",    "configureProxy",  "testFtp"};
    for (const char* name : ftpGroup)
        EXPECT_FALSE(find<QWidget>(name)->isEnabled()) << name;
    EXPECT_FALSE(edit("saveAsFileName")->isEnabled());
    EXPECT_FALSE(find<QWidget>("chooseLocalFile")->isEnabled());

    click("ftpUpload");
    for (const char* name : ftpGroup)
        EXPECT_EQ(find<QWidget>(name)->isEnabled(), std::string(name) != "configureProxy") << name;
    click("useProxy");
    EXPECT_TRUE(find<QWidget>("configureProxy")->isEnabled());
    click("saveAsFile");
    EXPECT_TRUE(edit("saveAsFileName")->isEnabled());
    EXPECT_TRUE(find<QWidget>("chooseLocalFile")->isEnabled());

    EXPECT_EQ(edit("ftpPassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit("ftpPassword")->maxLength(), 1024);
    sheet.reset();

    // Without the proxy dialog and the directory browser their buttons stay disabled.
    dialogs = {};
    set("UploadOptions", "FTPUpload", 1);
    set("UploadOptions", "UseFireWall", 1);
    openSheet(Sheet::LocationPage);
    EXPECT_FALSE(find<QWidget>("configureProxy")->isEnabled());
    EXPECT_FALSE(find<QWidget>("browseDirectory")->isEnabled());
    EXPECT_TRUE(find<QWidget>("testFtp")->isEnabled());
}

// The port has a field of its own: a "host:port" in the server field goes to both, implicit TLS
// takes its port while the port is plain FTP's, and the Test window pins the certificate it saw.
TEST_F(LocationPage, ThePortFieldAndTheCertificatePin)
{
    startHub();
    openSheet(Sheet::LocationPage);
    auto* port = find<CUpDownEdit>("ftpPort");
    EXPECT_EQ(port->edit()->text(), "21");
    type("ftpServer", QStringLiteral("ftp.example.org:2121"));
    emit edit("ftpServer")->editingFinished();
    EXPECT_EQ(edit("ftpServer")->text(), "ftp.example.org");
    EXPECT_EQ(port->edit()->text(), "2121");
    type("ftpServer", QStringLiteral("[::1]:21")); // not host:port: left as typed
    emit edit("ftpServer")->editingFinished();
    EXPECT_EQ(edit("ftpServer")->text(), "[::1]:21");
    type("ftpServer", QStringLiteral("127.0.0.1"));

    auto* security = find<QComboBox>("ftpSecurity");
    const std::pair<int, const char*> choices[] = {{2, "2121"}, {0, "2121"}};
    port->setNumber(21);
    security->setCurrentIndex(2);
    emit security->activated(2);
    EXPECT_EQ(port->edit()->text(), "990");
    security->setCurrentIndex(0);
    emit security->activated(0);
    EXPECT_EQ(port->edit()->text(), "21");
    port->setNumber(2121);
    for (const auto& [index, shown] : choices) { // a port of its own stays
        security->setCurrentIndex(index);
        emit security->activated(index);
        EXPECT_EQ(port->edit()->text(), shown);
    }

    type("ftpPort", QStringLiteral("0"));
    click("ok");
    EXPECT_EQ(prompter.texts(),
              std::vector<std::string>{"Please enter an integer between 1 and 65535."});
    type("ftpPort", QStringLiteral("2121"));

    EXPECT_EQ(CertificateFingerprintIn("220 hi\nCertificate: CN=cam, SHA-256 AB:CD:EF\nTLS: x\n"),
              "AB:CD:EF");
    EXPECT_EQ(CertificateFingerprintIn("220 hi\n"), "");
    click("testFtp");
    ASSERT_NE(page()->testDialog(), nullptr);
    emit page()->testDialog()->pinRequested(QStringLiteral("AB:CD:EF"));
    click("ok");
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("UploadOptions/FTPPort"), "2121");
    EXPECT_EQ(keys.at("UploadOptions/FTPServer"), "127.0.0.1");
    EXPECT_EQ(keys.at("UploadOptions/FTPCertificateFingerprint"), "AB:CD:EF");
}

TEST_F(LocationPage, TheProxyAndDirectoryDialogsGetThePagesValues)
{
    startHub();
    set("UploadOptions", "FTPPort", 2121);
    set("UploadOptions", "UseFireWall", 1);
    set("UploadOptions", "FireWallServer", std::string("proxy.lan"));
    IniWritePassword("UploadOptions", "FireWallPassword", "proxypw");
    ProxySettings shownToProxy;
    dialogs.proxy = [&](QWidget*, ProxySettings& v) {
        shownToProxy = v;
        v = {1, "gate.lan", 2100, "puser", "ppass"};
        return true;
    };
    FtpBrowseSettings shownToBrowser;
    dialogs.browseDirectory = [&](QWidget*, const FtpBrowseSettings& r, std::string& d) {
        shownToBrowser = r;
        d = "/pub/cam";
        return true;
    };
    openSheet(Sheet::LocationPage);
    sheet->applyButton()->setEnabled(false);
    click("configureProxy");
    EXPECT_EQ(shownToProxy, (ProxySettings{3, "proxy.lan", 21, "", "proxypw"}));
    EXPECT_TRUE(sheet->applyButton()->isEnabled());

    type("ftpServer", QStringLiteral("ftp.example.org"));
    type("ftpUserName", QStringLiteral("cam"));
    type("ftpPassword", QStringLiteral("secret"));
    type("ftpDirectory", QStringLiteral("/start"));
    click("passiveMode");
    click("browseDirectory");
    const FtpConnection& shown = shownToBrowser.connection;
    EXPECT_EQ(shown.host, "ftp.example.org");
    EXPECT_EQ(shown.port, 2121);
    EXPECT_EQ(shown.user, "cam");
    EXPECT_EQ(shown.password, "secret");
    EXPECT_EQ(
        (ProxySettings{1, shown.proxyHost, shown.proxyPort, shown.proxyUser, shown.proxyPassword}),
        (ProxySettings{1, "gate.lan", 2100, "puser", "ppass"}));
    EXPECT_TRUE(shown.passive);
    EXPECT_EQ(shown.logonType, LogonTypeForProxy(true, 1)); // the proxy is on, type OPEN
    EXPECT_EQ(shownToBrowser.directory, "/start");
    EXPECT_EQ(edit("ftpDirectory")->text(), "/pub/cam");

    click("ok");
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("UploadOptions/FireWallType"), "1");
    EXPECT_EQ(keys.at("UploadOptions/FireWallServer"), "gate.lan");
    EXPECT_EQ(keys.at("UploadOptions/FireWallPort"), "2100");
    EXPECT_EQ(keys.at("UploadOptions/FTPDirectory"), "/pub/cam");
    EXPECT_EQ(IniReadPassword("UploadOptions", "FireWallPassword"), "ppass");
    EXPECT_EQ(IniReadPassword("UploadOptions", "FTPPassword"), "secret");
    EXPECT_EQ(hub->Settings().m_strFireWallServer, "gate.lan");
}

TEST_F(LocationPage, TheLocalFileIsChosenWithASaveDialog)
{
    startHub();
    set("UploadOptions", "SaveAsFile", 1);
    openSheet(Sheet::LocationPage);
    FileChooserRequest asked;
    SetFileChooserForTesting([&](const FileChooserRequest& r) {
        asked = r;
        return QStringLiteral("/srv/www/cam.JPG");
    });
    click("chooseLocalFile");
    SetFileChooserForTesting({});
    EXPECT_EQ(asked.mode, FileChooserRequest::Mode::Save);
    EXPECT_EQ(asked.title, "Save as file");
    EXPECT_EQ(asked.filters, QStringList{"JPG File (*.JPG *.jpg)"});
    EXPECT_EQ(asked.defaultSuffix, "JPG");
    EXPECT_EQ(asked.selectFile, "untitled.JPG");
    EXPECT_EQ(edit("saveAsFileName")->text(), "/srv/www/cam.JPG");
}

TEST_F(LocationPage, TestShowsTheConversationWithoutThePasswordAndNeverBlocks)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "s3cret-pw")) << server.error();
    std::filesystem::create_directories(server.root() + "/webcam");
    startHub();
    set("UploadOptions", "FTPPort", server.port());
    set("UploadOptions", "FTPTimeOut", 5);
    openSheet(Sheet::LocationPage);
    type("ftpServer", QStringLiteral("127.0.0.1"));
    type("ftpUserName", QStringLiteral("cam"));
    type("ftpPassword", QStringLiteral("s3cret-pw"));
    type("ftpDirectory", QStringLiteral("webcam"));
    click("passiveMode");
    const auto before = fileKeys();
    click("testFtp");
    ASSERT_NE(page()->testDialog(), nullptr);
    // The test runs on its own thread: the window is back at once.
    EXPECT_TRUE(page()->testDialog()->isRunning());
    EXPECT_FALSE(find<QWidget>("testFtp")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!page()->testDialog()->isRunning(), 20000);
    const std::string text = page()->testDialog()->transcript().toStdString();
    EXPECT_TRUE(page()->testDialog()->passed()) << text;
    EXPECT_NE(text.find("USER cam"), std::string::npos) << text;
    EXPECT_NE(text.find("PASS ********"), std::string::npos) << text;
    EXPECT_NE(text.find("CWD webcam"), std::string::npos) << text;
    EXPECT_EQ(text.find("s3cret-pw"), std::string::npos) << text;
    EXPECT_TRUE(find<QWidget>("testFtp")->isEnabled());
    EXPECT_EQ(fileKeys(), before); // testing stores nothing

    // A wrong password fails, and says so.
    type("ftpPassword", QStringLiteral("wrong"));
    click("testFtp");
    QTRY_VERIFY_WITH_TIMEOUT(!page()->testDialog()->isRunning(), 20000);
    EXPECT_FALSE(page()->testDialog()->passed());
    EXPECT_NE(page()->testDialog()->transcript().indexOf("FTP check failed"), -1);
    EXPECT_EQ(page()->testDialog()->findChild<QLabel*>("outcome")->text(), "The FTP test failed.");

    // A server that takes the connection and never greets: the seconds count up against the
    // time-out, and the cause is named.
    ScriptedFtpServer silent;
    silent.greeting(ScriptedFtpServer::Action{ScriptedFtpServer::Action::Stall, {}, 0});
    ASSERT_TRUE(silent.start());
    set("UploadOptions", "FTPPort", silent.port());
    set("UploadOptions", "FTPTimeOut", 2);
    sheet.reset();
    openSheet(Sheet::LocationPage);
    type("ftpServer", QStringLiteral("127.0.0.1"));
    click("testFtp");
    auto* outcome = page()->testDialog()->findChild<QLabel*>("outcome");
    QTRY_VERIFY_WITH_TIMEOUT(outcome->text().contains("1 s (time-out 2 s)"), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!page()->testDialog()->isRunning(), 20000);
    EXPECT_NE(page()->testDialog()->transcript().indexOf("sent no reply within 2 s"), -1)
        << page()->testDialog()->transcript().toStdString();
    EXPECT_EQ(FtpTestVerdict(true, true),
              "The FTP settings work, but the server's certificate was not verified.");
}

// The Test button tests the upload a cycle makes: what the page does not show (storing without a
// temporary name, the archive) comes from the settings file, as the cycle takes it.
TEST_F(LocationPage, TestUploadsAsTheCycleWould)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "s3cret-pw")) << server.error();
    startHub();
    set("UploadOptions", "FTPPort", server.port());
    set("UploadOptions", "FTPTimeOut", 5);
    set("UploadOptions", "NoTempFile", 1);
    set("UploadOptions", "ArchiveInterval", 2);
    set("UploadOptions", "NumberOfArchives", 3);
    openSheet(Sheet::LocationPage);
    type("ftpServer", QStringLiteral("127.0.0.1"));
    type("ftpUserName", QStringLiteral("cam"));
    type("ftpPassword", QStringLiteral("s3cret-pw"));
    click("passiveMode");
    click("testFtp");
    QTRY_VERIFY_WITH_TIMEOUT(!page()->testDialog()->isRunning(), 20000);
    const std::string text = page()->testDialog()->transcript().toStdString();
    EXPECT_TRUE(page()->testDialog()->passed()) << text;
    EXPECT_NE(text.find("store      ok      vistrel-check-"), std::string::npos) << text;
    EXPECT_EQ(text.find(".tmp"), std::string::npos) << text; // stored under its own name
    EXPECT_EQ(text.find("rename     "), std::string::npos) << text;
    EXPECT_NE(text.find("archive    ok      vistrel-check-"), std::string::npos) << text;
}

class ImagePage : public SheetFixture {};

TEST_F(ImagePage, StampValuesPassThroughAndTheSliderStoresTheQuality)
{
    startHub();
    const std::map<std::string, std::string> stored = {
        {"Message", "Our street"}, {"Font", "DejaVu Sans"},
        {"FontHeight", "-20"},     {"FontWidth", "3"},
        {"FontWeight", "400"},     {"FontItalic", "1"},
        {"FontColor", "255"},      {"ShadowText", "0"},
        {"Alignment", "5"},        {"DateTimeFormat", "3"},
        {"TimeFont", "Serif"},     {"TimeFontHeight", "18"},
        {"TimeFontWidth", "0"},    {"TimeFontWeight", "700"},
        {"TimeFontItalic", "0"},   {"TimeFontColor", "65280"},
        {"TimeShadowText", "1"},   {"TimeAlignment", "2"},
        {"EnableOverlay", "1"},    {"OverlayFilename", "/x/logo.png"},
        {"OverlayAlignment", "8"}, {"OverlayTransparency", "1"},
    };
    for (const auto& [key, value] : stored)
        set("ImageOptions", key.c_str(), value);
    openSheet(Sheet::ImagePage);
    auto* quality = find<QSlider>("quality");
    EXPECT_EQ(quality->minimum(), 0);
    EXPECT_EQ(quality->maximum(), 100);
    EXPECT_EQ(quality->tickInterval(), 5);
    EXPECT_EQ(quality->value(), 90); // the fixture's
    auto* shown = find<QLabel>("qualityValue");
    EXPECT_EQ(shown->text(), "90"); // the slider shows its value
    for (const char* name : {"bannerProperties", "dateTimeProperties", "logoProperties"})
        EXPECT_FALSE(find<QWidget>(name)->isEnabled()) << name;
    quality->setValue(55);
    EXPECT_EQ(shown->text(), "55");
    click("includeDateTime");
    click("ok");
    const auto keys = fileKeys();
    for (const auto& [key, value] : stored)
        EXPECT_EQ(keys.at("ImageOptions/" + key), value) << key;
    EXPECT_EQ(keys.at("ImageOptions/Quality"), "55");
    EXPECT_EQ(keys.at("ImageOptions/Stamp"), "0");
    EXPECT_EQ(hub->Settings().m_nQuality, 55);
}

TEST_F(ImagePage, StampDialogsEditTheCarriedValues)
{
    startHub();
    set("ImageOptions", "Font", std::string(40, 'F')); // cut to a logical font's 31
    BannerProperties seen;
    dialogs.banner = [&](QWidget*, Hub&, BannerProperties& v) {
        seen = v;
        v.text = "Changed";
        v.font.face = "Sans";
        v.color = 0x0000FF;
        return true;
    };
    dialogs.dateTime = [](QWidget*, Hub&, DateTimeProperties& v) {
        v.format = 4;
        return true;
    };
    dialogs.logo = [](QWidget*, Hub&, LogoProperties& v) {
        v.path = "/logo.gif";
        return false; // cancelled: nothing taken over
    };
    openSheet(Sheet::ImagePage);
    click("bannerProperties");
    click("dateTimeProperties");
    click("logoProperties");
    EXPECT_EQ(seen.font.face, std::string(31, 'F'));
    EXPECT_EQ(seen.color, 0xFFFFFFu);
    click("ok");
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("ImageOptions/Message"), "Changed");
    EXPECT_EQ(keys.at("ImageOptions/Font"), "Sans");
    EXPECT_EQ(keys.at("ImageOptions/FontColor"), "255");
    EXPECT_EQ(keys.at("ImageOptions/DateTimeFormat"), "4");
    EXPECT_EQ(keys.at("ImageOptions/OverlayFilename"), "");
}

class CapturePage : public SheetFixture {
  protected:
    CMyPropertyPage6* page()
    {
        return static_cast<CMyPropertyPage6*>(sheet->page(Sheet::CapturePage));
    }
};

TEST_F(CapturePage, TheArchiveTimeFollowsTheControlsAndThePickersTheirBox)
{
    startHub();
    set("UploadOptions", "UploadInterval", 2);
    set("UploadOptions", "UploadIntervalMeasure", 2);
    set("UploadOptions", "ArchiveInterval", 12);
    set("UploadOptions", "UploadTimeRangeStartHour", 7);
    set("UploadOptions", "UploadTimeRangeStartMinute", 30);
    set("UploadOptions", "UploadTimeRangeEndHour", 19);
    openSheet(Sheet::CapturePage);
    EXPECT_EQ(page()->archiveTimeText(), "(1.0 days)");
    type("captureInterval", QStringLiteral("5"));
    find<QComboBox>("captureUnit")->setCurrentIndex(1);
    type("archiveInterval", QStringLiteral("3"));
    EXPECT_EQ(page()->archiveTimeText(), "(15.0 minutes)");
    find<QComboBox>("captureUnit")->setCurrentIndex(0);
    EXPECT_EQ(page()->archiveTimeText(), "(15 seconds)");
    EXPECT_TRUE(sheet->applyButton()->isEnabled());

    auto* start = find<QTimeEdit>("rangeStart");
    auto* end = find<QTimeEdit>("rangeEnd");
    EXPECT_EQ(start->time(), QTime(7, 30));
    EXPECT_EQ(end->time(), QTime(19, 0));
    EXPECT_EQ(start->displayFormat(),
              TimePickerFormat(QLocale::system().timeFormat(QLocale::ShortFormat)));
    EXPECT_FALSE(start->isEnabled());
    click("onlyBetween");
    EXPECT_TRUE(start->isEnabled() && end->isEnabled());
    end->setTime(QTime(22, 15));
    click("ok");
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("UploadOptions/UploadTimeRange"), "1");
    EXPECT_EQ(keys.at("UploadOptions/UploadTimeRangeEndHour"), "22");
    EXPECT_EQ(keys.at("UploadOptions/UploadTimeRangeEndMinute"), "15");
    EXPECT_EQ(keys.at("UploadOptions/UploadIntervalMeasure"), "0");
}

TEST_F(CapturePage, ApplyingResetsTheArchiveCounterAndRearmsTheTimer)
{
    set("UploadOptions", "ArchiveInterval", 10);
    startHub();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(cycle(), 1);
    ASSERT_EQ(hub->CurrentUpload(), 3);
    openSheet(Sheet::CapturePage);
    type("archiveInterval", QStringLiteral("2"));
    type("captureInterval", QStringLiteral("5"));
    sheet->applyButton()->click();
    EXPECT_EQ(hub->CurrentUpload(), 0);
    EXPECT_EQ(hub->TimerPeriod(), 300'000u);

    // Values the program cannot use are refused on the page with its own words; nothing is
    // stored and the timer keeps running.
    struct Case {
        const char* field;
        const char* text;
        const char* message;
    };
    for (const Case c : {Case{"captureInterval", "-5", "Please enter a positive integer."},
                         Case{"numberOfArchives", "-2", "Please enter a positive integer."},
                         Case{"captureInterval", "x", "Please enter an integer."}}) {
        SCOPED_TRACE(std::string(c.field) + " " + c.text);
        prompter.clear();
        type(c.field, QStringLiteral("1"));
        type(c.field, QString::fromLatin1(c.text));
        click("ok");
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(prompter.texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(fileKeys()["UploadOptions/UploadInterval"], "5");
        EXPECT_EQ(hub->TimerPeriod(), 300'000u);
        type(c.field, QStringLiteral("5"));
    }
}

// The upload target: each shows its own fields (the FTP ones it shares stay), SFTP takes its
// port while the port is FTP's, each refuses what it cannot use, and what is chosen is stored.
TEST_F(LocationPage, TheUploadTargetShowsItsFieldsAndIsChecked)
{
    startHub();
    set("UploadOptions", "FTPUpload", 1);
    set("UploadOptions", "UploadTarget", "gopher"); // unknown: nothing is chosen for it
    openSheet(Sheet::LocationPage);
    auto* target = find<QComboBox>("uploadTarget");
    EXPECT_EQ(target->currentIndex(), -1);
    click("ok");
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Choose an upload target."});
    EXPECT_EQ(fileKeys().at("UploadOptions/UploadTarget"), "gopher"); // nothing replaced it

    struct Case {
        int index;
        const char* shown;  // a field of its own
        const char* hidden; // another target's
        const char* bad;    // a field and a value it refuses
        const char* value;
        const char* says;
    } cases[] = {
        {1, "sftpHostKey", "webdavUrl", "sftpHostKey", "AB:CD", "The host key must be a"},
        {2, "webdavUrl", "s3Bucket", "webdavUrl", "dav.example.org/cam",
         "The WebDAV address must start with http:// or https://."},
        {3, "s3Bucket", "sftpKeyFile", "s3Endpoint", "s3.example.org",
         "The endpoint must start with http:// or https://."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        prompter.clear();
        target->setCurrentIndex(c.index);
        emit target->activated(c.index);
        EXPECT_FALSE(find<QWidget>(c.shown)->isHidden());
        EXPECT_TRUE(find<QWidget>(c.hidden)->isHidden());
        EXPECT_FALSE(find<QWidget>("targetNote")->isHidden());
        EXPECT_FALSE(find<QWidget>("browseDirectory")->isEnabled()); // FTP only
        EXPECT_TRUE(find<QWidget>("ftpFileName")->isEnabled());
        type(c.bad, QString::fromLatin1(c.value));
        click("ok");
        ASSERT_EQ(prompter.texts().size(), 1u);
        EXPECT_EQ(prompter.texts()[0].rfind(c.says, 0), 0u) << prompter.texts()[0];
    }
    EXPECT_EQ(find<CUpDownEdit>("ftpPort")->edit()->text(), "21"); // back from SFTP's 22
    target->setCurrentIndex(1);
    emit target->activated(1);
    EXPECT_EQ(find<CUpDownEdit>("ftpPort")->edit()->text(), "22");
    type("sftpHostKey", QStringLiteral("SHA256:ZmluZ2VycHJpbnQ"));
    type("sftpKeyPassphrase", QStringLiteral("key words"));
    click("ok");
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("UploadOptions/UploadTarget"), "sftp");
    EXPECT_EQ(keys.at("UploadOptions/FTPPort"), "22");
    EXPECT_EQ(keys.at("UploadOptions/SFTPHostKey"), "SHA256:ZmluZ2VycHJpbnQ");
    EXPECT_EQ(IniReadPassword("UploadOptions", "SFTPKeyPassphrase"), "key words");
    EXPECT_NE(keys.at("UploadOptions/SFTPKeyPassphrase"), "key words"); // stored scrambled
    EXPECT_EQ(hub->Settings().m_strUploadTarget, "sftp");
}

} // namespace
} // namespace vistrel::test
