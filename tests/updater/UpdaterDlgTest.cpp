// The updater window end to end, on the offscreen platform, against the test HTTP server.
#include "updater/UpdaterDlg.h"
#include "updater/UpdateCheck.h"
#include "updater/UpdaterAboutDlg.h"

#include "ChildProcess.h"
#include "HttpTestServer.h"
#include "RecordingPrompter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;

namespace {

// How long a dialog gets to reach the state a test waits for.
constexpr int kWaitMs = 15000;

std::string LocalPad(const std::string& padAddress)
{
    return "<?xml version=\"1.0\"?>\r\n<XML_DIZ_INFO>\r\n  <Program_Info>\r\n"
           "    <Program_Name>Vistrel</Program_Name>\r\n"
           "    <Program_Version>1.2.9</Program_Version>\r\n  </Program_Info>\r\n"
           "  <Web_Info><Application_URLs>\r\n    <Application_XML_File_URL>" +
           padAddress +
           "</Application_XML_File_URL>\r\n  </Application_URLs></Web_Info>\r\n"
           "</XML_DIZ_INFO>\r\n";
}

std::string RemotePad(const std::string& name, const std::string& version,
                      const std::string& download,
                      const std::string& whatsNew = "Faster uploads.\n Sharper pictures.")
{
    return "<?xml version=\"1.0\"?>\n<XML_DIZ_INFO>\n<Program_Info>\n<Program_Name>" + name +
           "</Program_Name>\n<Program_Version>" + version +
           "</Program_Version>\n<Program_Change_Info><![CDATA[" + whatsNew +
           "]]></Program_Change_Info>\n</Program_Info>\n<Web_Info>\n"
           "<Download_URLs><Primary_Download_URL>" +
           download + "</Primary_Download_URL></Download_URLs>\n</Web_Info>\n</XML_DIZ_INFO>\n";
}

// A stand-in setup program: a shell script that leaves a marker beside itself. The comment makes
// it large enough to arrive in several pieces.
std::string SetupScript()
{
    return "#!/bin/sh\necho launched > \"$(dirname \"$0\")/setup-ran.txt\"\nexit 0\n# " +
           std::string(200000, 'x') + "\n";
}

} // namespace

class UpdaterDlgTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running());
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        m_strOldDirectory = cwd;
        ASSERT_EQ(::chdir(work.path().c_str()), 0);
        test::writeFile(work.file("vistrel.xml"), LocalPad(server.url("/pad/vistrel.xml?x=1")));
    }
    void TearDown() override { ASSERT_EQ(::chdir(m_strOldDirectory.c_str()), 0); }

    // Opens the window as the program does and lets it run until its status text leaves the
    // "Checking" state.
    std::unique_ptr<CUpdaterDlg> Open(const std::string& commandLine = "vistrel.xml")
    {
        auto dlg = std::make_unique<CUpdaterDlg>(commandLine, prompter);
        dlg->SetProcessExit([this](int code) { exitCodes.push_back(code); });
        if (!dlg->OnInitDialog())
            return dlg;
        dlg->show();
        test::waitUntil(
            [&] {
                return !dlg->isVisible() ||
                       (!dlg->StatusText().empty() && dlg->StatusText() != kCheckingText &&
                        (exit(*dlg)->isEnabled() || update(*dlg)->isEnabled()));
            },
            kWaitMs);
        return dlg;
    }

    static QPushButton* update(CUpdaterDlg& d)
    {
        return d.findChild<QPushButton*>(QStringLiteral("update"));
    }
    static QPushButton* exit(CUpdaterDlg& d)
    {
        return d.findChild<QPushButton*>(QStringLiteral("exit"));
    }
    static QProgressBar* progress(CUpdaterDlg& d)
    {
        return d.findChild<QProgressBar*>(QStringLiteral("progress"));
    }
    static QString byteCount(CUpdaterDlg& d)
    {
        return d.findChild<QLabel*>(QStringLiteral("byteCount"))->text();
    }
    std::vector<std::string> workFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(work.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::HttpTestServer server;
    test::TempDir work;
    test::RecordingPrompter prompter;
    std::vector<int> exitCodes;
    std::string m_strOldDirectory;
};

TEST_F(UpdaterDlgTest, WithoutPadFileTheUsageIsShownAndTheWindowCloses)
{
    for (const char* commandLine : {"", "-s", "  -S  "}) {
        prompter.clear();
        CUpdaterDlg dlg(commandLine, prompter);
        EXPECT_FALSE(dlg.OnInitDialog());
        EXPECT_EQ(dlg.result(), 1);
        ASSERT_EQ(prompter.shown().size(), 1u);
        EXPECT_EQ(prompter.shown()[0].text,
                  "You must specify a PAD XML file in the command line.\r\n\r\n"
                  "Example: updater program.xml");
        EXPECT_EQ(prompter.shown()[0].icon, PromptIcon::Exclamation);
    }
}

TEST_F(UpdaterDlgTest, UnreadableLocalPadOffersOnlyExit)
{
    test::writeFile(work.file("broken.xml"), "<XML_DIZ_INFO><Program_Info>");
    test::writeFile(work.file("noversion.xml"),
                    "<XML_DIZ_INFO><Program_Info><Program_Name>Vistrel</Program_Name>"
                    "</Program_Info></XML_DIZ_INFO>");
    for (const char* path : {"missing.xml", "broken.xml", "noversion.xml"}) {
        auto dlg = Open(path);
        EXPECT_EQ(dlg->StatusText(), "Unable to load current version information.") << path;
        EXPECT_TRUE(exit(*dlg)->isEnabled());
        EXPECT_FALSE(update(*dlg)->isEnabled());
        EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Updater"));
    }
    EXPECT_TRUE(prompter.shown().empty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(UpdaterDlgTest, SameVersionIsUpToDate)
{
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.2.9", "http://h/s.exe"));
    auto dlg = Open();
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Vistrel Updater"));
    EXPECT_EQ(dlg->StatusText(), "No updates were found.");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(exit(*dlg)->isEnabled());
    EXPECT_FALSE(update(*dlg)->isEnabled());
    EXPECT_TRUE(progress(*dlg)->isHidden());
    EXPECT_EQ(server.requests(), "/pad/vistrel.xml?x=1\n");
    EXPECT_EQ(test::readFile(work.file("update.xml")),
              RemotePad("Vistrel", "1.2.9", "http://h/s.exe"));
    exit(*dlg)->click();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_TRUE(exitCodes.empty());
}

TEST_F(UpdaterDlgTest, SilentModeClosesWhenUpToDate)
{
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.2.8", "http://h/s.exe"));
    auto dlg = Open("-s vistrel.xml");
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_EQ(dlg->StatusText(), "No updates were found.");
}

TEST_F(UpdaterDlgTest, NewerVersionTellsWhatIsNew)
{
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.3", server.url("/setup.exe")));
    auto dlg = Open("vistrel.xml -S"); // silent changes nothing when there is an update
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->StatusText(),
              "A new version of Vistrel was found!\r\n\r\nInstalled Version: 1.2.9, New Version: "
              "1.3\r\n\r\nWhat's New: Faster uploads. Sharper pictures.\r\n\r\nClick the Update "
              "button to download and install the new version.\r\n\r\n" +
                  std::string(kPlainHttpText));
    EXPECT_TRUE(update(*dlg)->isEnabled());
    EXPECT_TRUE(exit(*dlg)->isEnabled());
    EXPECT_TRUE(progress(*dlg)->isHidden());
    // Byte counts are shown only for the setup program.
    EXPECT_EQ(byteCount(*dlg), QString());
}

// However long "What's New" is (up to what a PAD file may hold), it scrolls inside the status box
// and the window keeps its size.
TEST_F(UpdaterDlgTest, ALongWhatsNewScrollsInsideTheWindow)
{
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.3", server.url("/setup.exe")));
    auto shortDlg = Open();
    const QSize shortSize = shortDlg->size();
    shortDlg.reset();

    std::string whatsNew;
    while (whatsNew.size() < 900000)
        whatsNew += "Sharper pictures at night, fewer dropped uploads. ";
    whatsNew += "The end.";
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.3", server.url("/setup.exe"), whatsNew));
    auto dlg = Open();
    ASSERT_NE(dlg->StatusText().find("The end."), std::string::npos);
    EXPECT_TRUE(update(*dlg)->isEnabled());
    auto* box = dlg->findChild<QPlainTextEdit*>(QStringLiteral("status"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_TRUE(box->toPlainText().endsWith(
        QStringLiteral("Click the Update button to download and install the new version.\n\n") +
        QString::fromUtf8(kPlainHttpText)));
    QApplication::processEvents();
    EXPECT_GT(box->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(dlg->size(), shortSize);
}

// A PAD file larger than 1 MB is refused while it is fetched; nothing of it is kept.
TEST_F(UpdaterDlgTest, AnOversizedRemotePadIsRefused)
{
    server.put("pad/vistrel.xml",
               RemotePad("Vistrel", "1.3", server.url("/setup.exe"), std::string(1 << 20, 'x')));
    auto dlg = Open();
    EXPECT_EQ(dlg->StatusText(), "The PAD file on the server is larger than 1 MB and was refused.");
    EXPECT_TRUE(exit(*dlg)->isEnabled());
    EXPECT_FALSE(update(*dlg)->isEnabled());
    EXPECT_EQ(workFiles(), std::vector<std::string>{"vistrel.xml"});
}

TEST_F(UpdaterDlgTest, RemotePadThatCannotBeUsedFindsNoUpdates)
{
    const std::vector<std::string> pads = {
        RemotePad("vistrel", "9.0", "http://h/s.exe"), // another program: letter case counts
        RemotePad("Vistrel", "", "http://h/s.exe"),    // no version
        "<XML_DIZ_INFO><Program_Info>",                // malformed
    };
    for (const auto& pad : pads) {
        server.put("pad/vistrel.xml", pad);
        auto dlg = Open();
        EXPECT_EQ(dlg->StatusText(), "No Updates Found.") << pad;
        EXPECT_TRUE(progress(*dlg)->isHidden());
        EXPECT_FALSE(update(*dlg)->isEnabled());
        EXPECT_TRUE(exit(*dlg)->isEnabled());
    }
}

TEST_F(UpdaterDlgTest, MissingRemotePadShowsTheLibraryMessage)
{
    auto dlg = Open();
    EXPECT_EQ(dlg->StatusText(), "The requested URL returned error: 404");
    EXPECT_TRUE(exit(*dlg)->isEnabled());
    EXPECT_FALSE(progress(*dlg)->isHidden());
    EXPECT_FALSE(test::fileExists(work.file("update.xml")));
}

TEST_F(UpdaterDlgTest, ServerDownShowsTheLibraryMessage)
{
    const int closedPort = test::freeLoopbackPort();
    test::writeFile(work.file("down.xml"),
                    LocalPad("http://127.0.0.1:" + std::to_string(closedPort) + "/pad.xml"));
    auto dlg = Open("down.xml");
    EXPECT_EQ(dlg->StatusText().rfind(
                  "Failed to connect to 127.0.0.1 port " + std::to_string(closedPort), 0),
              0u)
        << dlg->StatusText();
    EXPECT_TRUE(exit(*dlg)->isEnabled());
    EXPECT_FALSE(update(*dlg)->isEnabled());
    EXPECT_FALSE(progress(*dlg)->isHidden());
}

TEST_F(UpdaterDlgTest, UpdateDownloadsAndStartsTheSetupProgram)
{
    const std::string script = SetupScript();
    server.put("setup.exe", script);
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.3.0", server.url("/slow/setup.exe")));
    auto dlg = Open();
    ASSERT_TRUE(update(*dlg)->isEnabled());

    update(*dlg)->click();
    EXPECT_FALSE(update(*dlg)->isEnabled());
    EXPECT_EQ(exit(*dlg)->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(dlg->StatusText(), "Downloading update...");
    EXPECT_FALSE(progress(*dlg)->isHidden());

    ASSERT_TRUE(test::waitUntil([&] { return !dlg->isVisible(); }, kWaitMs));
    EXPECT_EQ(dlg->result(), 1);
    // It came over plain HTTP, and the window says so.
    EXPECT_EQ(dlg->StatusText(),
              std::string("Launching setup program...\r\n\r\n") + kPlainHttpText);
    const QString size = QString::number(script.size());
    EXPECT_EQ(byteCount(*dlg),
              size + QStringLiteral(" of ") + size + QStringLiteral(" bytes copied"));
    EXPECT_EQ(progress(*dlg)->value(), 100);

    const std::string setup = work.file("Vistrel-update.exe");
    EXPECT_EQ(test::readFile(setup), script);
    struct stat st {};
    ASSERT_EQ(::stat(setup.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_TRUE(
        test::waitUntil([&] { return test::fileExists(work.file("setup-ran.txt")); }, 10000));
    EXPECT_EQ(test::readFile(work.file("setup-ran.txt")), "launched\n");
    EXPECT_TRUE(exitCodes.empty());
}

TEST_F(UpdaterDlgTest, FailedSetupDownloadOffersExitAgain)
{
    // An ftp address passes the chain when it is the only one but cannot be fetched.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ftp://127.0.0.1/setup.exe", "URL using bad/illegal format or missing URL"},
        {server.url("/missing-setup.exe"), "The requested URL returned error: 404"}};
    for (const auto& [address, message] : cases) {
        server.put("pad/vistrel.xml", RemotePad("Vistrel", "2", address));
        auto dlg = Open();
        ASSERT_TRUE(update(*dlg)->isEnabled());
        update(*dlg)->click();
        ASSERT_TRUE(
            test::waitUntil([&] { return exit(*dlg)->text() == QStringLiteral("Exit"); }, kWaitMs));
        EXPECT_EQ(dlg->StatusText(), message);
        EXPECT_FALSE(update(*dlg)->isEnabled());
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_FALSE(test::fileExists(work.file("Vistrel-update.exe")));
    }
}

TEST_F(UpdaterDlgTest, CancelEndsTheProcessWithoutLeavingTheSetupProgram)
{
    server.put("setup.exe", SetupScript());
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.4", server.url("/stall/setup.exe")));
    auto dlg = Open();
    ASSERT_TRUE(update(*dlg)->isEnabled());
    update(*dlg)->click();
    // Half the file arrives, then the server goes quiet.
    ASSERT_TRUE(
        test::waitUntil([&] { return byteCount(*dlg).startsWith(QStringLiteral("100")); }, kWaitMs))
        << byteCount(*dlg).toStdString();
    const QString total = QString::number(SetupScript().size());
    EXPECT_EQ(byteCount(*dlg), QString::number(SetupScript().size() / 2) + QStringLiteral(" of ") +
                                   total + QStringLiteral(" bytes copied"));
    EXPECT_EQ(progress(*dlg)->value(), 50);
    EXPECT_EQ(workFiles().size(), 3u); // the PAD files and the partial download

    ASSERT_EQ(exit(*dlg)->text(), QStringLiteral("Cancel"));
    exit(*dlg)->click();
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_EQ(dlg->StatusText(), "Canceling download.\r\n\r\nPlease wait...");
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"update.xml", "vistrel.xml"}));
    dlg.reset();
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"update.xml", "vistrel.xml"}));
}

TEST_F(UpdaterDlgTest, AboutIsInTheContextMenu)
{
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.2.9", "http://h/s.exe"));
    auto dlg = Open();
    EXPECT_EQ(dlg->contextMenuPolicy(), Qt::ActionsContextMenu);
    const auto actions = dlg->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("&About Updater..."));

    QStringList seen;
    QTimer::singleShot(0, [&] {
        QWidget* about = QApplication::activeModalWidget();
        ASSERT_NE(about, nullptr);
        seen << about->windowTitle();
        for (const char* name : {"product", "version", "copyright"})
            seen << about->findChild<QLabel*>(QString::fromLatin1(name))->text();
        static_cast<QDialog*>(about)->accept();
    });
    actions[0]->trigger();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Tessel Software Updater"),
                                 QStringLiteral("Tessel Software Updater"),
                                 QStringLiteral("Version 1.0.3"),
                                 QStringLiteral("Copyright (C) 2026  Tessel Software")}));
}

// The program itself: silent and up to date, it checks and ends by itself.
TEST_F(UpdaterDlgTest, ProgramEndsByItselfWhenSilentAndUpToDate)
{
    server.put("pad/vistrel.xml", RemotePad("Vistrel", "1.2.9", "http://h/s.exe"));
    test::ChildProcess child;
    const std::string program = test::binaryDir() + "/src/updater/updater";
    ASSERT_TRUE(
        child.start({"sh", "-c", "cd \"$0\" && exec \"$1\" -s vistrel.xml", work.path(), program},
                    work.file("updater.log"), {"QT_QPA_PLATFORM=offscreen"}));
    EXPECT_EQ(child.wait(20000), 0) << test::readFile(work.file("updater.log"));
    EXPECT_TRUE(test::fileExists(work.file("update.xml")));
}
