// The Image and Location pages with the program's own dialogs (SheetDialogs::Installed): each
// button opens its dialog with the page's values, and what the dialog hands back is stored.

#include "RealFtpServers.h"
#include "SheetFixture.h"

#include "config/SettingsFile.h"
#include "ui/dialogs/CFtpDirDialog.h"
#include "ui/dialogs/CFtpProxyDialog.h"
#include "ui/dialogs/CMyFontDialog.h"
#include "ui/dialogs/CMyTimeDialog.h"
#include "ui/dialogs/LogoPropertiesDialog.h"
#include "ui/dialogs/SampleSizeNotice.h"
#include "ui/sheet/FileDialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

using namespace vistrel;
using namespace vistrel::test;
using Sheet = CMyPropertySheet;

namespace {

class InstalledDialogs : public SheetFixture {
  protected:
    void SetUp() override
    {
        SheetFixture::SetUp();
        dialogs = SheetDialogs::Installed();
    }
    void TearDown() override
    {
        SetFileChooserForTesting({});
        SheetFixture::TearDown();
    }

    // Clicks button and answers the dialog of type T it opens: answer runs (again, every 20 ms)
    // while the dialog is the active modal window until it returns true. A size notice on the
    // way is closed.
    template <class T> void clickAndAnswer(const char* button, std::function<bool(T&)> answer)
    {
        bool answered = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* active = QApplication::activeModalWidget();
            if (auto* notice = qobject_cast<SampleSizeNotice*>(active))
                notice->accept();
            else if (auto* dialog = qobject_cast<T*>(active); dialog && !answered)
                answered = answer(*dialog);
        });
        poll.start(20);
        click(button);
        EXPECT_TRUE(answered) << button;
    }
};

} // namespace

TEST_F(InstalledDialogs, ImagePageStampAndLogoDialogs)
{
    startHub();
    set("ImageOptions", "Message", std::string("Our street"));
    set("ImageOptions", "Font", std::string("DejaVu Sans"));
    set("ImageOptions", "FontHeight", -20);
    set("ImageOptions", "TimeAlignment", 1);
    const std::string gif = dir.file("logo.gif");
    std::filesystem::copy_file(sourceDir() + "/tests/imaging/data/logo.gif", gif);
    openSheet(Sheet::ImagePage);
    for (const char* name : {"bannerProperties", "dateTimeProperties", "logoProperties"})
        EXPECT_TRUE(find<QWidget>(name)->isEnabled()) << name;

    clickAndAnswer<CMyFontDialog>("bannerProperties", [](CMyFontDialog& d) {
        EXPECT_EQ(d.Values(),
                  (BannerProperties{
                      {"DejaVu Sans", -20, 0, 700, false}, 0xFFFFFF, "Our street", 1, true}));
        EXPECT_NE(d.FrameSize(), QSize(0, 0)); // the hub's camera
        auto* colour = d.findChild<QComboBox*>("color");
        colour->setCurrentIndex(colour->findText("Red"));
        d.accept();
        return true;
    });
    clickAndAnswer<CMyTimeDialog>("dateTimeProperties", [](CMyTimeDialog& d) {
        EXPECT_EQ(d.Values().alignment, 1);
        d.findChild<QComboBox*>("format")->setCurrentIndex(5);
        d.accept();
        return true;
    });
    SetFileChooserForTesting([&](const FileChooserRequest& request) {
        EXPECT_EQ(request.title, "Select Image");
        return QString::fromStdString(gif);
    });
    clickAndAnswer<LogoPropertiesDialog>("logoProperties", [](LogoPropertiesDialog& d) {
        d.findChild<QPushButton*>("browse")->click();
        EXPECT_EQ(d.LogoSize(), QSize(100, 50));
        d.accept();
        return true;
    });
    click("ok");
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("ImageOptions/FontColor"), "255");
    EXPECT_EQ(keys.at("ImageOptions/Message"), "Our street");
    EXPECT_EQ(keys.at("ImageOptions/DateTimeFormat"), "5");
    EXPECT_EQ(keys.at("ImageOptions/OverlayFilename"), gif);
}

TEST_F(InstalledDialogs, LocationPageProxyDialogAndDirectoryBrowser)
{
    PyFtpdServer server;
    ASSERT_TRUE(server.start("cam", "secret")) << server.error();
    std::filesystem::create_directories(server.root() + "/www/cam");
    startHub();
    useServer(server.port());
    set("UploadOptions", "UseFireWall", 1);
    set("UploadOptions", "FireWallServer", std::string("proxy.lan"));
    openSheet(Sheet::LocationPage);

    clickAndAnswer<CFtpProxyDialog>("configureProxy", [](CFtpProxyDialog& d) {
        EXPECT_EQ(d.Values(), (ProxySettings{3, "proxy.lan", 21, "", ""}));
        d.findChild<QLineEdit*>("port")->setText("2100");
        d.accept();
        return true;
    });
    // The browser logs on directly once "Use FTP Proxy" is off.
    click("useProxy");
    type("ftpDirectory", QStringLiteral("/www"));
    clickAndAnswer<CFtpDirDialog>("browseDirectory", [](CFtpDirDialog& d) {
        if (d.Busy() || d.Entries().isEmpty())
            return false; // still listing
        EXPECT_EQ(d.CurrentDirectory(), "/www");
        EXPECT_EQ(d.Entries(), QStringList{"cam"});
        d.accept();
        return true;
    });
    EXPECT_EQ(edit("ftpDirectory")->text(), "/www");
    click("ok");
    const auto keys = fileKeys();
    EXPECT_EQ(keys.at("UploadOptions/FireWallPort"), "2100");
    EXPECT_EQ(keys.at("UploadOptions/FTPDirectory"), "/www");
    EXPECT_TRUE(prompter.texts().empty());
}
