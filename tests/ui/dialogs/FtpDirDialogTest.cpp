// The FTP directory browser against the scripted server: the listing and PWD rules, walking the
// tree, failures, making a directory, and a server that stalls.
#include "DialogTestSupport.h"
#include "ListingFuzz.h"
#include "ScriptedFtpServer.h"

#include "ftp/FtpBrowse.h"
#include "ui/dialogs/CFtpDirDialog.h"
#include "ui/dialogs/CNewDirDialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace vistrel;
using namespace vistrel::test;

namespace {

const char* const kListing = "drwxr-xr-x 2 web web 512 Jan 1 12:00 images\r\n"
                             "-rw-r--r-- 1 web web 1234 Jan 1 12:00 index.html\r\n"
                             "lrwxrwxrwx 1 web web 6 Jan 1 12:00 pics -> images\r\n"
                             "drwxr-xr-x 2 web web 512 Jan 1 12:00 my pics\r\n"
                             "drwxr-xr-x 2 web web 512 Jan 1  2024 Cam\r\n";

FtpBrowseSettings settingsFor(const ScriptedFtpServer& server, const std::string& directory = {})
{
    return loopbackBrowse(server.port(), directory);
}

void showAndWait(CFtpDirDialog& dialog)
{
    dialog.show();
    ASSERT_TRUE(settle(dialog));
}

QListWidget* list(CFtpDirDialog& dialog)
{
    return dialog.findChild<QListWidget*>("directories");
}

const std::vector<std::string> kLogOn = {"USER cam", "PASS secret"};
std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const std::vector<std::string> kListPwdQuit = {"TYPE I", "PASV", "LIST", "PWD", "QUIT"};

} // namespace

TEST(FtpListing, DirectoriesOfAListing)
{
    struct Case {
        std::string listing;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {kListing, {"images", "my pics", "Cam"}},
        // Leading blanks, a name with several spaces, a non-Unix line (last word), "." and "..".
        {"  drwxr-xr-x   2 a b 4096 Mar  3 09:15   two  spaces \r\n"
         "drwxr-xr-x 2 a 512 Jan 1 12:00 short form\r\n"
         "drwxr-xr-x 3 a b 4096 Mar 3 09:15 .\r\n"
         "drwxr-xr-x 3 a b 4096 Mar 3 09:15 ..\r\n",
         {"two  spaces", "form"}},
        // An empty line ends the listing; a last line without LF still counts.
        {"drwx------ 2 a b 1 Jan 1 2020 x\n\ndrwx------ 2 a b 1 Jan 1 2020 y\n", {"x"}},
        {"drwx------ 2 a b 1 Jan 1 2020 x\r\ndrwx------ 2 a b 1 Jan 1 2020 last", {"x", "last"}},
        {"", {}},
        {"total 0\r\n", {}},
        {"01-01-20  12:00PM       <DIR>          images\r\n", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseDirectoryListing(c.listing), c.names) << c.listing;
}

TEST(FtpListing, PwdRepliesAndPaths)
{
    const std::pair<std::string, std::string> replies[] = {
        {"257 \"/www\" is current directory.\n", "/www"},
        {"257 \"/\"\r\n", "/"},
        {"257 \"/a \"\"quoted\"\" dir\" is current\n", "/a \"quoted\" dir"},
        {"257 \"/my pics\"\n", "/my pics"},
        {"257 no quotes\n", ""},
        {"257 \"unterminated\n", ""},
    };
    for (const auto& [reply, dir] : replies)
        EXPECT_EQ(ParsePwdReply(reply), dir) << reply;
    EXPECT_EQ(JoinRemotePath("/www", "cam"), "/www/cam");
    EXPECT_EQ(JoinRemotePath("/", "cam"), "/cam");
    EXPECT_EQ(JoinRemotePath("", "cam"), "cam");
    EXPECT_EQ(JoinRemotePath("/www/cam", ".."), "/www/cam/..");
}

TEST(FtpDirDialog, WalksTheTreeAndHandsBackTheCurrentDirectory)
{
    ScriptedFtpServer server;
    server.listing(kListing);
    server.reply("PWD", "257 \"/www\" is current directory.");
    server.reply("PWD", "257 \"/www/my pics\" is current directory.");
    server.reply("PWD", "257 \"/www\" is current directory.");
    ASSERT_TRUE(server.start());
    RecordedServices recorded;
    CFtpDirDialog dialog(settingsFor(server), recorded.services());
    EXPECT_EQ(dialog.Directory(), "");
    showAndWait(dialog);
    EXPECT_EQ(dialog.CurrentDirectory(), "/www");
    EXPECT_EQ(dialog.Entries(), (QStringList{"Cam", "images", "my pics"}));

    // After every listing the keyboard is in the list: End and Enter open "my pics".
    auto* list = dialog.findChild<QListWidget*>("directories");
    ASSERT_TRUE(list);
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(QApplication::focusWidget(), list);
    QTest::keyClick(list, Qt::Key_End);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(settle(dialog));
    EXPECT_EQ(dialog.CurrentDirectory(), "/www/my pics");
    EXPECT_EQ(QApplication::focusWidget(), list);
    QTest::mouseClick(dialog.findChild<QPushButton*>("up"), Qt::LeftButton);
    ASSERT_TRUE(settle(dialog));
    EXPECT_EQ(dialog.CurrentDirectory(), "/www");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), list);

    QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Directory(), "/www");
    EXPECT_TRUE(recorded.prompter.texts().empty());
    // Every action is a session of its own.
    EXPECT_EQ(server.transcript(), kLogOn + kListPwdQuit + kLogOn +
                                       std::vector<std::string>{"CWD /www/my pics"} + kListPwdQuit +
                                       kLogOn + std::vector<std::string>{"CWD /www/my pics/.."} +
                                       kListPwdQuit);
}

TEST(FtpDirDialog, FirstListingOutcomes)
{
    struct Case {
        const char* what;
        std::string start;
        std::function<void(ScriptedFtpServer&)> script;
        std::vector<std::string> messages;
        QStringList entries;
        QString current;
        bool open; // false: the dialog closed with result 0
    };
    const Case cases[] = {
        {"missing start directory",
         "/nope",
         [](ScriptedFtpServer& s) {
             s.reply("CWD", "550 /nope: No such file or directory.");
             s.listing(kListing);
         },
         {"550 /nope: No such file or directory."},
         {"Cam", "images", "my pics"},
         "/",
         true},
        {"empty directory",
         "/empty",
         [](ScriptedFtpServer& s) {
             s.listing("");
             s.reply("PWD", "257 \"/empty\"");
         },
         {},
         {},
         "/empty",
         true},
        {"log-on refused",
         "",
         [](ScriptedFtpServer& s) { s.reply("PASS", "530 Login incorrect."); },
         {"530 Login incorrect."},
         {},
         "",
         false},
        {"listing refused",
         "",
         [](ScriptedFtpServer& s) { s.reply("LIST", "550 Permission denied."); },
         {"550 Permission denied."},
         {},
         "",
         false},
        {"no data connection",
         "",
         [](ScriptedFtpServer& s) { s.reply("PASV", "425 Cannot open data connection."); },
         {"425 Cannot open data connection."},
         {},
         "",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedFtpServer server;
        c.script(server);
        ASSERT_TRUE(server.start());
        RecordedServices recorded;
        CFtpDirDialog dialog(settingsFor(server, c.start), recorded.services());
        showAndWait(dialog);
        EXPECT_EQ(recorded.prompter.texts(), c.messages);
        EXPECT_EQ(dialog.Entries(), c.entries);
        EXPECT_EQ(dialog.CurrentDirectory(), c.current);
        EXPECT_EQ(dialog.isVisible(), c.open);
        if (!c.open) {
            EXPECT_EQ(dialog.result(), 0);
        }
    }
}

TEST(FtpDirDialog, AFailedUpClosesAndAFailedOpenKeepsTheDialog)
{
    ScriptedFtpServer server;
    server.listing(kListing);
    server.reply("PWD", "257 \"/www\"");
    server.reply("CWD", "550 images: Permission denied.");
    server.reply("PASS", "230 Logged in");
    server.reply("PASS", "230 Logged in");
    server.reply("PASS", "530 Too many connections.");
    ASSERT_TRUE(server.start());
    RecordedServices recorded;
    CFtpDirDialog dialog(settingsFor(server), recorded.services());
    showAndWait(dialog);

    // The refused directory is reported, and the log-on directory listed again.
    ASSERT_TRUE(openEntry(dialog, "images"));
    EXPECT_EQ(recorded.prompter.texts(),
              std::vector<std::string>{"550 images: Permission denied."});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Entries().size(), 3);

    QTest::mouseClick(dialog.findChild<QPushButton*>("up"), Qt::LeftButton);
    ASSERT_TRUE(settle(dialog));
    EXPECT_EQ(recorded.prompter.texts().back(), "530 Too many connections.");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(dialog.Directory(), "");
}

TEST(FtpDirDialog, NewDirectoryIsMadeInTheCurrentDirectoryThenListed)
{
    ScriptedFtpServer server;
    server.listing(kListing);
    server.reply("PWD", "257 \"/www\"");
    server.reply("PWD", "257 \"/www\"");
    server.reply("MKD", "257 \"/www/new dir\" created");
    server.reply("MKD", "550 Permission denied.");
    ASSERT_TRUE(server.start());
    RecordedServices recorded;
    CFtpDirDialog dialog(settingsFor(server), recorded.services());
    showAndWait(dialog);

    auto makeDirectory = [&](const QString& name, bool ok) {
        QTimer::singleShot(0, [name, ok] {
            auto* ask = qobject_cast<CNewDirDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(ask, nullptr);
            EXPECT_EQ(ask->windowTitle(), "New Directory");
            auto* buttons = ask->findChild<QDialogButtonBox*>();
            EXPECT_FALSE(buttons->button(QDialogButtonBox::Ok)->isEnabled());
            ask->findChild<QLineEdit*>("name")->setText(name);
            QTest::mouseClick(buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel),
                              Qt::LeftButton);
        });
        QTest::mouseClick(dialog.findChild<QPushButton*>("newDirectory"), Qt::LeftButton);
        ASSERT_TRUE(settle(dialog));
    };
    makeDirectory("cancelled", false);
    makeDirectory("new dir", true);
    makeDirectory("refused", true);
    EXPECT_EQ(recorded.prompter.texts(), std::vector<std::string>{"550 Permission denied."});
    EXPECT_EQ(dialog.CurrentDirectory(), "/www");
    const std::vector<std::string> expected =
        kLogOn + kListPwdQuit + kLogOn +
        std::vector<std::string>{"CWD /www", "MKD new dir", "QUIT"} + kLogOn +
        std::vector<std::string>{"CWD /www"} + kListPwdQuit + kLogOn +
        std::vector<std::string>{"CWD /www", "MKD refused"};
    EXPECT_EQ(server.transcript(), expected);
}

// Cancel while a listing drips in forever ends the session itself, not only the window: the
// server sees the client let go at once.
TEST(FtpDirDialog, CancelEndsADrippingListing)
{
    ScriptedFtpServer server;
    server.dataFault(ScriptedFtpServer::DataFault::DripListing);
    ASSERT_TRUE(server.start());
    RecordedServices recorded;
    CFtpDirDialog dialog(settingsFor(server), recorded.services());
    dialog.show();
    ASSERT_TRUE(waitFor([&] { return server.dataConnections() == 1; }, 5000));
    ASSERT_TRUE(dialog.Busy());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return !dialog.isVisible(); }, 1000));
    EXPECT_TRUE(waitFor([&] { return server.listingsLetGo() == 1; }, 3000));
}

// The corpus of the listing parser's fuzz target.
TEST(FtpListing, EveryCorpusListingGivesSoundNames)
{
    const std::string dir = sourceDir() + "/tests/ui/dialogs/corpus/listing";
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string bytes = readFile(entry.path().string());
        EXPECT_TRUE(
            FuzzDirectoryListing(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
            << entry.path();
        ++inputs;
    }
    EXPECT_GE(inputs, 8);
}

TEST(FtpDirDialog, AServerThatStallsLeavesTheWindowResponsiveAndCancelWorks)
{
    // No greeting at all: Cancel ends the first listing and with it the dialog.
    {
        ScriptedFtpServer server;
        server.greeting(ScriptedFtpServer::Action{ScriptedFtpServer::Action::Stall, {}, 0});
        ASSERT_TRUE(server.start());
        RecordedServices recorded;
        CFtpDirDialog dialog(settingsFor(server), recorded.services());
        dialog.show();
        QCoreApplication::processEvents();
        ASSERT_TRUE(dialog.Busy());
        // The window goes on working while the session waits.
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(20);
        waitFor([] { return false; }, 300);
        EXPECT_GE(ticks, 5);
        EXPECT_TRUE(dialog.Busy());
        EXPECT_EQ(dialog.cursor().shape(), Qt::WaitCursor);
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        EXPECT_FALSE(buttons->button(QDialogButtonBox::Ok)->isEnabled());
        EXPECT_FALSE(dialog.findChild<QPushButton*>("up")->isEnabled());
        EXPECT_FALSE(dialog.findChild<QPushButton*>("newDirectory")->isEnabled());
        EXPECT_FALSE(list(dialog)->isEnabled());
        QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
        ASSERT_TRUE(cancel->isEnabled());

        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(cancel, Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return !dialog.isVisible(); }, 1000));
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.Busy());
        EXPECT_TRUE(recorded.prompter.texts().empty());
    }
    // A later action stalls: Escape abandons it and the dialog shows what it showed before.
    {
        ScriptedFtpServer server;
        server.listing(kListing);
        server.reply("PWD", "257 \"/www\"");
        server.stall("CWD");
        ASSERT_TRUE(server.start());
        RecordedServices recorded;
        CFtpDirDialog dialog(settingsFor(server), recorded.services());
        showAndWait(dialog);
        const auto items = list(dialog)->findItems("images", Qt::MatchExactly);
        emit list(dialog)->itemDoubleClicked(items[0]);
        ASSERT_TRUE(dialog.Busy());
        waitFor([] { return false; }, 200);
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_FALSE(dialog.Busy());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.CurrentDirectory(), "/www");
        EXPECT_EQ(dialog.Entries(), (QStringList{"Cam", "images", "my pics"}));
        EXPECT_TRUE(list(dialog)->isEnabled());
        EXPECT_NE(dialog.cursor().shape(), Qt::WaitCursor);
        // The abandoned session's end is dropped, whenever it comes.
        waitFor([] { return false; }, 200);
        EXPECT_TRUE(recorded.prompter.texts().empty());
        // Closing the window in the middle of an action leaves it.
        emit list(dialog)->itemDoubleClicked(items[0]);
        ASSERT_TRUE(dialog.Busy());
        EXPECT_TRUE(dialog.close());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_FALSE(dialog.Busy());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
}
