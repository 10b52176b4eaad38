// The FTP directory browser against pyftpdlib, directly and through proftpd's forward proxy.
#include "DialogTestSupport.h"
#include "RealFtpServers.h"

#include "ftp/LogOnTable.h"
#include "ui/dialogs/CFtpDirDialog.h"
#include "ui/dialogs/CNewDirDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

using namespace vistrel;
using namespace vistrel::test;
namespace fs = std::filesystem;

namespace {

// images/, "my pics"/ and empty/, a file and a link to images/.
void makeTree(const std::string& root)
{
    fs::create_directories(root + "/images/cam");
    fs::create_directories(root + "/my pics");
    fs::create_directories(root + "/empty");
    writeFile(root + "/index.html", "<html></html>");
    fs::create_directory_symlink("images", root + "/pics");
}

FtpBrowseSettings direct(const PyFtpdServer& server, const std::string& directory = {})
{
    return loopbackBrowse(server.port(), directory);
}

} // namespace

TEST(FtpDirDialogServers, WalksAPyftpdlibTreeAndMakesADirectory)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    makeTree(server.root());
    RecordedServices recorded;
    CFtpDirDialog dialog(direct(server), recorded.services());
    dialog.show();
    ASSERT_TRUE(settle(dialog));
    EXPECT_EQ(dialog.CurrentDirectory(), "/");
    // The file and the link are left out; "my pics" keeps its whole name.
    EXPECT_EQ(dialog.Entries(), (QStringList{"empty", "images", "my pics"}));

    ASSERT_TRUE(openEntry(dialog, "my pics"));
    EXPECT_EQ(dialog.CurrentDirectory(), "/my pics");
    EXPECT_TRUE(dialog.Entries().isEmpty()); // an empty directory, and no message about it
    QTest::mouseClick(dialog.findChild<QPushButton*>("up"), Qt::LeftButton);
    ASSERT_TRUE(settle(dialog));
    EXPECT_EQ(dialog.CurrentDirectory(), "/");
    ASSERT_TRUE(openEntry(dialog, "images"));
    EXPECT_EQ(dialog.Entries(), QStringList{"cam"});

    QTimer::singleShot(0, [] {
        auto* ask = qobject_cast<CNewDirDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(ask, nullptr);
        ask->findChild<QLineEdit*>("name")->setText("new dir");
        ask->accept();
    });
    QTest::mouseClick(dialog.findChild<QPushButton*>("newDirectory"), Qt::LeftButton);
    ASSERT_TRUE(settle(dialog));
    EXPECT_TRUE(fs::is_directory(server.root() + "/images/new dir"));
    EXPECT_EQ(dialog.Entries(), (QStringList{"cam", "new dir"}));
    EXPECT_TRUE(recorded.prompter.texts().empty());

    QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Directory(), "/images");
}

TEST(FtpDirDialogServers, AMissingStartDirectoryListsTheLogOnDirectory)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    makeTree(server.root());
    RecordedServices recorded;
    CFtpDirDialog dialog(direct(server, "/gone/away"), recorded.services());
    dialog.show();
    ASSERT_TRUE(settle(dialog));
    const auto texts = recorded.prompter.texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].substr(0, 4), "550 ");
    EXPECT_EQ(dialog.CurrentDirectory(), "/");
    EXPECT_EQ(dialog.Entries(), (QStringList{"empty", "images", "my pics"}));
    EXPECT_TRUE(dialog.isVisible());
}

TEST(FtpDirDialogServers, BrowsesThroughTheProxyThePageNames)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    makeTree(server.root());
    ProFtpdForwardProxy proxy;
    ASSERT_TRUE(proxy.start("pu", "proxysecret")) << proxy.error();
    FtpBrowseSettings s = direct(server, "/images");
    // "USER no logon": USER user@host to the proxy.
    s.connection.logonType = LogonTypeForProxy(true, 3);
    s.connection.proxyHost = "127.0.0.1";
    s.connection.proxyPort = proxy.port(ProFtpdForwardProxy::UserAtHost);
    RecordedServices recorded;
    CFtpDirDialog dialog(s, recorded.services());
    dialog.show();
    ASSERT_TRUE(settle(dialog));
    EXPECT_TRUE(recorded.prompter.texts().empty());
    EXPECT_EQ(dialog.CurrentDirectory(), "/images");
    EXPECT_EQ(dialog.Entries(), QStringList{"cam"});
}
