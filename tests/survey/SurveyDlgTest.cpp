#include "survey/SurveyDlg.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

using vistrel::CSurveyDlg;

namespace {

struct Opened {
    QStringList addresses;
    vistrel::AddressOpener opener()
    {
        return [this](const QString& a) { addresses << a; };
    }
};

} // namespace

TEST(SurveyDlg, ShowsTheProductAndOpensTheAddressOnYes)
{
    Opened opened;
    CSurveyDlg dlg(QStringLiteral("http://example.invalid/why?p=1"), QStringLiteral("Web Cam Pro"),
                   opened.opener());
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Uninstall Survey"));
    EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("message"))->text(),
              QStringLiteral("We are sorry you have decided to uninstall Web Cam Pro."));
    EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("question"))->text(),
              QStringLiteral("Would you take a moment to tell us why?"));
    auto* yes = dlg.findChild<QPushButton*>(QStringLiteral("yes"));
    EXPECT_TRUE(yes->isDefault());
    yes->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(opened.addresses, QStringList{QStringLiteral("http://example.invalid/why?p=1")});
}

TEST(SurveyDlg, NoOpensNothingAndYesWithoutAddressJustCloses)
{
    Opened opened;
    {
        CSurveyDlg dlg(QStringLiteral("http://x.invalid/"), QStringLiteral("A"), opened.opener());
        dlg.show();
        dlg.findChild<QPushButton*>(QStringLiteral("no"))->click();
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_FALSE(dlg.isVisible());
    }
    {
        CSurveyDlg dlg(QString(), QStringLiteral("A"), opened.opener());
        dlg.show();
        dlg.findChild<QPushButton*>(QStringLiteral("yes"))->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(opened.addresses.isEmpty());
}

// Without a title the program ends at once and never starts the window system: with a platform
// that cannot load, it would abort if it tried.
TEST(LeavenoteProgram, EndsWithoutShowingAnythingWhenThereIsNoTitle)
{
    const std::string program = vistrel::test::binaryDir() + "/src/survey/leavenote";
    const std::vector<std::vector<std::string>> cases = {
        {program}, {program, "/url", "http://example.invalid/"}, {program, "/TITLE", "A"}};
    for (const auto& argv : cases) {
        vistrel::test::ChildProcess child;
        ASSERT_TRUE(child.start(argv, {}, {"QT_QPA_PLATFORM=no-such-platform", "DISPLAY="}));
        EXPECT_EQ(child.wait(10000), 0) << argv.back();
    }
    // With a title it does start the window system, so the same platform makes it fail.
    vistrel::test::ChildProcess child;
    ASSERT_TRUE(child.start({program, "/title", "A"}, {}, {"QT_QPA_PLATFORM=no-such-platform"}));
    EXPECT_NE(child.wait(10000), 0);
}
