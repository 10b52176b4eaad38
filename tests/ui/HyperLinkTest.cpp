// The hyperlink: opening an address with the desktop's handler, the error texts, mouse, keyboard
// and colours; and the About box that carries two of them.
#include "RecordingPrompter.h"
#include "TestSupport.h"

#include "ui/AboutBox.h"
#include "ui/HelpWindow.h"
#include "ui/HyperLink.h"
#include "vistrel/Version.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <chrono>

#include <filesystem>
#include <sys/stat.h>

namespace vistrel::test {
namespace {

TEST(LinkErrors, EveryFailureTheOpenerReturnsHasItsText)
{
    for (int result : {kLinkOutOfResources, kLinkFileNotFound, kLinkAccessDenied,
                       kLinkBadAssociation, kLinkNoAssociation})
        EXPECT_FALSE(LinkErrorText(result).contains("Unknown")) << result;
    // The texts keep their line breaks; any other number is named.
    EXPECT_EQ(LinkErrorText(kLinkAccessDenied),
              "Can't open link:\n\nThe operating system denied\naccess to the specified file.");
    EXPECT_EQ(LinkErrorText(17), "Can't open link:\n\nUnknown Error (17) occurred.");
}

// The desktop's handler as a process: its exit status is waited for and read; the address is one
// argument, never a shell's words.
TEST(DesktopOpen, TheHandlersStatusDecides)
{
    TempDir dir;
    auto script = [&](const std::string& name, const std::string& body, mode_t mode = 0755) {
        writeFile(dir.file(name), "#!/bin/sh\n" + body + "\n");
        ::chmod(dir.file(name).c_str(), mode);
        return dir.file(name);
    };
    const std::string address = "http://example.org/a b?q=\"x\";$(touch " + dir.file("pwned") + ")";
    struct Case {
        const char* what;
        std::string program;
        int result;
        long long atMostMs;
    };
    const std::vector<Case> cases = {
        {"opened", script("ok", "printf '%s' \"$1\" > " + dir.file("arg")), kLinkOpened, 3000},
        {"nothing there", script("two", "exit 2"), kLinkFileNotFound, 3000},
        {"no tool", script("three", "exit 3"), kLinkNoAssociation, 3000},
        {"action failed", script("four", "exit 4"), kLinkBadAssociation, 3000},
        {"killed", script("killed", "kill -9 $$"), kLinkOutOfResources, 3000},
        {"missing", dir.file("gone"), kLinkFileNotFound, 3000},
        {"not executable", script("plain", "exit 0", 0644), kLinkAccessDenied, 3000},
        {"busy past the limit", script("busy", "sleep 5"), kLinkOpened, 2500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(LinkResultOf(OpenWithDesktop(address, c.program, 1000)), c.result);
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - t0)
                      .count(),
                  c.atMostMs);
    }
    EXPECT_EQ(readFile(dir.file("arg")), address);
    EXPECT_FALSE(fileExists(dir.file("pwned")));
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
    opener.open = [&](const QString& address) {
        opened.push_back(address);
        return succeed ? int(kLinkOpened) : int(kLinkBadAssociation);
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

    // Pressed, dragged off and released elsewhere: nothing opens.
    link.SetStyle(CHyperLink::kDefaultStyle);
    QTest::mousePress(&link, Qt::LeftButton);
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(link.width() + 20, -20));
    EXPECT_EQ(opened.size(), 3u);

    // A failure: a box with the reason, and the link is not marked visited.
    CHyperLink fresh("x", "nowhere:x", &parent);
    LinkOpener failing;
    failing.open = [](const QString&) { return int(kLinkNoAssociation); };
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
    // The box opens with the focus on OK, not on a link that Space would follow; F1 shows the
    // main window's topic.
    ASSERT_TRUE(QApplication::focusWidget());
    EXPECT_EQ(qobject_cast<QPushButton*>(QApplication::focusWidget())->text(), "OK");
    QTest::keyClick(&box, Qt::Key_F1);
    EXPECT_EQ(CurrentHelpTopic(), kHelpMainWindow);
    CloseHelpWindow();
    const QColor blue(0, 0, 255);
    for (CHyperLink* link : {box.EmailLink(), box.WebLink()}) {
        LinkOpener opener;
        opener.open = [](const QString&) { return int(kLinkOpened); };
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
