// The hyperlink: opening an address (the desktop's way, then the default browser's command line),
// the error texts, mouse, keyboard and colours; and the About box that carries two of them.
#include "RecordingPrompter.h"
#include "TestSupport.h"

#include "ui/AboutBox.h"
#include "ui/HyperLink.h"
#include "vistrel/Version.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <filesystem>
#include <sys/stat.h>

namespace vistrel::test {
namespace {

TEST(BrowserCommandLine, CutsAtThePlaceholderAndKeepsTheAddressWhole)
{
    const QString url = "http://host/a b\"c";
    struct Case {
        const char* exec;
        std::vector<QString> args;
    };
    const std::vector<Case> cases = {
        {"firefox %u", {"firefox", url}},
        {"chromium --new-window \"%U\" --extra", {"chromium", "--new-window", url}},
        {"browser -url %u %i", {"browser", "-url", url}},
        {"\"/opt/my browser/run\" %i --x %U", {"/opt/my browser/run", "--x", url}},
        {"plain", {"plain", url}},
        {"run --pct=100%% %U", {"run", "--pct=100%", url}},
        {"", {}},
        {"%u", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exec);
        EXPECT_EQ(BrowserCommandLine(c.exec, url), c.args);
    }
}

TEST(LinkErrors, EveryResultHasItsText)
{
    // The texts keep their line breaks and the one trailing space.
    const std::pair<int, const char*> table[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {5, "The operating system denied\naccess to the specified file."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {30, "The DDE transaction could not\nbe completed because other DDE "
             "transactions\nwere being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {17, "Unknown Error (17) occurred."},
    };
    for (const auto& [result, text] : table)
        EXPECT_EQ(LinkErrorText(result), QString("Can't open link:\n\n") + text) << result;
}

// A desktop with its own default browser: a fake xdg-mime and a desktop entry whose program
// writes its arguments to a file.
class BrowserFallback : public ::testing::Test {
  protected:
    TempDir dir;
    ScopedEnv dataHome{"XDG_DATA_HOME", dir.file("share")};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", dir.file("none")};
    LinkOpener opener;

    void SetUp() override
    {
        std::filesystem::create_directories(dir.file("share/applications"));
        opener.openUrl = [](const QUrl&) { return false; }; // the desktop's own way fails
        opener.xdgMime = QString::fromStdString(dir.file("xdg-mime"));
        script("xdg-mime", "echo browser.desktop");
        script("browser", "for a in \"$@\"; do echo \"$a\"; done > " + dir.file("args"));
    }
    void script(const std::string& name, const std::string& body)
    {
        writeFile(dir.file(name), "#!/bin/sh\n" + body + "\n");
        ::chmod(dir.file(name).c_str(), 0755);
    }
    // The command is read from the entry's own group, not from its actions.
    void entry(const std::string& exec)
    {
        writeFile(dir.file("share/applications/browser.desktop"),
                  "[Desktop Action window]\nExec=wrong %u\n[Desktop Entry]\nType=Application\n"
                  "Name=Browser\nExec=" +
                      exec + "\n");
    }
};

TEST_F(BrowserFallback, StartsTheDefaultBrowserWithTheAddressAsOneArgument)
{
    entry(dir.file("browser") + "\\s--new-tab \"%u\""); // "\s" is an escaped blank
    const QString address = "http://example.org/a b?q=\"x\"";
    EXPECT_EQ(OpenAddress(address, opener), kLinkOpened);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !readFile(dir.file("args")).empty(); }, 5000));
    EXPECT_EQ(readFile(dir.file("args")), "--new-tab\n" + address.toStdString() + "\n");
}

TEST_F(BrowserFallback, EachFailureHasItsResult)
{
    writeFile(dir.file("plain"), "not a program");
    struct Case {
        const char* what;
        std::string xdgMime;
        std::string exec; // empty: no desktop entry
        int result;
    };
    const std::vector<Case> cases = {
        {"no xdg-mime", "/nonexistent/xdg-mime", "", kLinkNoAssociation},
        {"no default", "true", "", kLinkNoAssociation},
        {"no entry", "", "", kLinkBadAssociation},
        {"entry without command", "", "%u", kLinkBadAssociation},
        {"program missing", "", dir.file("gone") + " %u", kLinkFileNotFound},
        {"program not on PATH", "", "vistrel-no-such-browser %u", kLinkFileNotFound},
        {"not executable", "", dir.file("plain") + " %u", kLinkAccessDenied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.file("share/applications/browser.desktop"));
        if (!c.exec.empty())
            entry(c.exec);
        LinkOpener o = opener;
        if (!c.xdgMime.empty())
            o.xdgMime = QString::fromStdString(c.xdgMime);
        EXPECT_EQ(OpenAddress("http://example.org/", o), c.result);
    }
}

TEST(HyperLink, ClickSpaceAndFailureWithTheirStates)
{
    RecordingPrompter prompter;
    QWidget parent;
    CHyperLink link("example.org", "http://example.org/", &parent);
    link.SetPrompter(&prompter);
    std::vector<QString> opened;
    bool succeed = true;
    LinkOpener opener;
    opener.openUrl = [&](const QUrl& url) {
        opened.push_back(url.toString());
        return succeed;
    };
    link.SetOpener(opener);
    EXPECT_EQ(link.toolTip(), "http://example.org/");
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.CurrentColour(), CHyperLink::LinkColour());
    parent.show();
    parent.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&parent));

    QTest::mouseClick(&link, Qt::LeftButton); // press and release open once, and take the focus
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_TRUE(link.IsVisited());
    EXPECT_TRUE(link.IsActive());
    EXPECT_EQ(link.CurrentColour(), CHyperLink::ActiveColour());
    link.clearFocus();
    EXPECT_FALSE(link.IsActive());
    EXPECT_EQ(link.CurrentColour(), CHyperLink::VisitedColour());
    QTest::keyClick(&link, Qt::Key_Space);
    EXPECT_EQ(opened.size(), 2u);

    // Following on button down: the release does not open it a second time.
    link.SetStyle(CHyperLink::kDefaultStyle | CHyperLink::kDownClick | CHyperLink::kUseHover);
    QTest::mousePress(&link, Qt::LeftButton);
    EXPECT_EQ(opened.size(), 3u);
    QTest::mouseRelease(&link, Qt::LeftButton);
    EXPECT_EQ(opened.size(), 3u);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&link, &enter);
    EXPECT_EQ(link.CurrentColour(), CHyperLink::HoverColour());

    // A failure: a box with the reason, and the link is not marked visited.
    CHyperLink fresh("x", "nowhere:x", &parent);
    LinkOpener failing = opener;
    failing.openUrl = [](const QUrl&) { return false; };
    failing.xdgMime = "/nonexistent/xdg-mime";
    fresh.SetOpener(failing);
    fresh.SetPrompter(&prompter);
    fresh.FollowLink();
    EXPECT_FALSE(fresh.IsVisited());
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, LinkErrorText(kLinkNoAssociation).toStdString());
    EXPECT_EQ(prompter.shown()[0].icon, PromptIcon::Exclamation);
}

TEST(AboutBox, VersionTextsAndBothLinksBlueInEveryState)
{
    QWidget mainWindow;
    mainWindow.show();
    CAboutBox box(&mainWindow);
    EXPECT_EQ(box.windowTitle(), "About Vistrel");
    EXPECT_EQ(box.ProductText(), "Vistrel");
    EXPECT_EQ(box.VersionText(), "Version 2.2.5");
    EXPECT_EQ(box.VersionText(), QString("Version ") + kVersionString);
    EXPECT_EQ(box.CopyrightText(), "Copyright (C) 2026  Tessel Software");
    EXPECT_EQ(box.EmailLink()->text(), kMakerEmail);
    EXPECT_EQ(box.EmailLink()->LinkUrl(), QString("mailto:") + kMakerEmail);
    EXPECT_EQ(box.WebLink()->LinkUrl(), QString("http://") + kMakerWebHost);

    box.show();
    box.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    const QColor blue(0, 0, 255);
    for (CHyperLink* link : {box.EmailLink(), box.WebLink()}) {
        LinkOpener opener;
        opener.openUrl = [](const QUrl&) { return true; };
        link->SetOpener(opener);
        EXPECT_EQ(link->CurrentColour(), blue); // not yet opened
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(link, &enter);
        EXPECT_EQ(link->CurrentColour(), blue); // pointed at
        QTest::mouseClick(link, Qt::LeftButton);
        EXPECT_TRUE(link->IsVisited());
        EXPECT_EQ(link->CurrentColour(), blue); // focused and opened
        link->clearFocus();
        EXPECT_EQ(link->CurrentColour(), blue);
    }
}

} // namespace
} // namespace vistrel::test
