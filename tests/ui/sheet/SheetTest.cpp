// The sheet as a whole: which keys OK stores for each page shown, what Cancel and refusals
// leave alone, Apply's enabling and the help topics.

#include "SheetFixture.h"
#include "fake/FakeRasScript.h"

#include "config/KeyCatalogue.h"
#include "ui/HelpWindow.h"
#include "ui/sheet/LocationPage.h"
#include "ui/sheet/UpDownEdit.h"
#include "widgets/MessageBoxPrompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <set>

namespace vistrel::test {
namespace {

using Keys = std::map<std::string, std::string>;
using Sheet = CMyPropertySheet;

// What a page stores for a settings file without its keys: every key of the table it edits,
// with the value it shows for a missing key.
Keys PageDefaults(SettingsPage page)
{
    Keys keys;
    for (const SettingKey& k : SettingKeys())
        if (k.page == page)
            keys[k.name()] = k.pageDefault ? k.pageDefault : k.programDefaultText();
    return keys;
}

// The Device page is shown whenever the sheet opens: it stores its keys and the test pattern's
// format (320 x 240, 24 bits).
const Keys kDeviceKeys = [] {
    Keys keys = PageDefaults(SettingsPage::Device);
    keys.insert({{"ImageFormat/Size", "40"},
                 {"ImageFormat/Width", "320"},
                 {"ImageFormat/Height", "240"},
                 {"ImageFormat/Planes", "1"},
                 {"ImageFormat/BitCount", "24"},
                 {"ImageFormat/Compression", "0"},
                 {"ImageFormat/SizeImage", "230400"},
                 {"ImageFormat/XPelsPerMeter", "0"},
                 {"ImageFormat/YPelsPerMeter", "0"},
                 {"ImageFormat/ClrUsed", "0"},
                 {"ImageFormat/ClrImportant", "0"}});
    return keys;
}();

struct PageCase {
    int page;
    SettingsPage keys;
};

const PageCase kPageCases[] = {
    {Sheet::DevicePage, SettingsPage::Device},
    {Sheet::ImagePage, SettingsPage::Image},
    {Sheet::CapturePage, SettingsPage::Capture},
    {Sheet::LocationPage, SettingsPage::Location},
    {Sheet::ConnectionPage, SettingsPage::Connection},
    {Sheet::GeneralPage, SettingsPage::General},
};

class SheetTest : public SheetFixture {};

TEST_F(SheetTest, OkStoresExactlyTheKeysOfThePagesShown)
{
    startHub();
    for (const PageCase& c : kPageCases) {
        SCOPED_TRACE(c.page);
        wipeSettingsFile();
        openSheet(c.page);
        EXPECT_EQ(sheet->windowTitle(), "Vistrel Settings");
        click("ok");
        EXPECT_EQ(sheet->result(), QDialog::Accepted);
        Keys expected = kDeviceKeys;
        expected.merge(PageDefaults(c.keys));
        EXPECT_EQ(fileKeys(), expected);
        EXPECT_TRUE(prompter.texts().empty());
        sheet.reset();
    }
    // Every page shown: the union.
    wipeSettingsFile();
    openSheet();
    for (int page = Sheet::ImagePage; page <= Sheet::GeneralPage; ++page)
        sheet->setCurrentPage(page);
    click("ok");
    Keys all;
    for (const PageCase& c : kPageCases)
        all.merge(PageDefaults(c.keys));
    all.insert(kDeviceKeys.begin(), kDeviceKeys.end());
    EXPECT_EQ(fileKeys(), all);

    // The first start's sheet: OK at once stores what every page shows, the same union.
    sheet.reset();
    wipeSettingsFile();
    openSheet();
    sheet->setStoreEveryPage(true);
    click("ok");
    EXPECT_EQ(fileKeys(), all);
    EXPECT_TRUE(prompter.texts().empty());
}

// A value for a key a page writes that differs from what the page shows when the key is missing
// and that its control can hold. DUN is a phonebook entry's name (there is none here) and
// CaptureDevice a driver's index (only the test pattern's 0 exists): both keep the page's value.
std::string sampleValue(const SettingKey& k)
{
    if (&k == &keys::ConnectOptions::DUN || &k == &keys::ImageFormat::CaptureDevice)
        return k.pageDefault;
    switch (k.type) {
    case SettingType::Flag:
        return k.pageDefaultInt() ? "0" : "1";
    case SettingType::Choice:
        return std::to_string(k.choices.back().value == k.pageDefaultInt()
                                  ? k.choices[0].value
                                  : k.choices.back().value);
    case SettingType::Colour:
        return "255";
    case SettingType::Integer:
        for (int v : {7, 3, 1, 0})
            if (v >= k.minimum && v <= k.maximum && v != k.pageDefaultInt())
                return std::to_string(v);
        break;
    default:
        return "x-" + std::string(k.key);
    }
    ADD_FAILURE() << k.name() << ": no sample value";
    return {};
}

// Over the whole key table: every key a page writes goes through its page unchanged (the file
// after OK is the file before it), the page binds exactly the keys the table gives it, and the
// hub's re-read of the page's reload group brings every one of them into the live settings.
TEST_F(SheetTest, EveryPageKeyRoundTripsThroughItsPageAndItsReloadGroup)
{
    startHub();
    wipeSettingsFile();
    for (const auto& [name, value] : kDeviceKeys) {
        const auto slash = name.find('/');
        IniWriteString(name.substr(0, slash), name.substr(slash + 1), value);
    }
    std::map<SettingsPage, std::set<std::string>> byPage;
    for (const SettingKey& k : SettingKeys()) {
        if (k.page == SettingsPage::None)
            continue;
        ASSERT_TRUE(WriteSetting(k, sampleValue(k)));
        byPage[k.page].insert(k.name());
    }
    const Keys before = fileKeys();

    openSheet();
    const std::pair<int, SettingsPage> pages[] = {{Sheet::DevicePage, SettingsPage::Device},
                                                  {Sheet::ImagePage, SettingsPage::Image},
                                                  {Sheet::CapturePage, SettingsPage::Capture},
                                                  {Sheet::LocationPage, SettingsPage::Location},
                                                  {Sheet::ConnectionPage, SettingsPage::Connection},
                                                  {Sheet::GeneralPage, SettingsPage::General}};
    for (const auto& [index, page] : pages) {
        sheet->setCurrentPage(index);
        const CSettingsPage* p = sheet->page(index);
        const auto names = p->keys().names();
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), byPage[page]) << index;
        for (const std::string& name : names) {
            const auto slash = name.find('/');
            EXPECT_EQ(FindSettingKey(name.substr(0, slash), name.substr(slash + 1))->group,
                      p->reloadGroup())
                << name;
        }
    }
    click("ok");
    EXPECT_TRUE(prompter.texts().empty()) << prompter.texts().front();
    EXPECT_EQ(fileKeys(), before);

    const LiveSettings live = hub->Settings();
    for (const SettingKey& k : SettingKeys()) {
        if (k.page == SettingsPage::None)
            continue;
        SCOPED_TRACE(k.name());
        const LiveMember& m = k.member;
        switch (m.kind) {
        case LiveMember::Kind::Flag:
            EXPECT_EQ(live.*m.flag, ReadSettingInt(k) != 0);
            break;
        case LiveMember::Kind::Integer:
            EXPECT_EQ(live.*m.integer, ReadSettingInt(k));
            break;
        case LiveMember::Kind::Colour:
            EXPECT_EQ(live.*m.colour, static_cast<std::uint32_t>(ReadSettingInt(k)));
            break;
        case LiveMember::Kind::Text:
            EXPECT_EQ(live.*m.text, ReadSettingString(k));
            break;
        case LiveMember::Kind::None:
            ADD_FAILURE() << "a key a page writes has no live member";
        }
    }
}

TEST_F(SheetTest, CancelAndEscapeStoreNothingEvenWithApplyEnabled)
{
    startHub();
    const Keys before = fileKeys();
    openSheet();
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    sheet->setCurrentPage(Sheet::ImagePage); // the Image page counts as changed when it opens
    EXPECT_TRUE(sheet->applyButton()->isEnabled());
    click("cancel");
    EXPECT_EQ(sheet->result(), QDialog::Rejected);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(fileKeys(), before);

    openSheet(Sheet::LocationPage);
    EXPECT_TRUE(sheet->applyButton()->isEnabled()); // so does the Location page
    type("ftpServer", QStringLiteral("ftp.example.org"));
    QTest::keyClick(sheet.get(), Qt::Key_Escape);
    EXPECT_EQ(sheet->result(), QDialog::Rejected);
    EXPECT_EQ(fileKeys(), before);
}

TEST_F(SheetTest, ApplyStoresAndStaysOpenUntilTheNextChange)
{
    startHub();
    openSheet(Sheet::CapturePage);
    EXPECT_FALSE(sheet->applyButton()->isEnabled()); // Device and Capture open unchanged
    type("captureInterval", QStringLiteral("7"));
    ASSERT_TRUE(sheet->applyButton()->isEnabled());
    sheet->applyButton()->click();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    EXPECT_EQ(fileKeys()["UploadOptions/UploadInterval"], "7");
    EXPECT_EQ(hub->Settings().m_nUploadInterval, 7); // the hub re-read its section
    find<QComboBox>("captureUnit")->setCurrentIndex(0);
    EXPECT_TRUE(sheet->applyButton()->isEnabled());
}

// Each refusal keeps the sheet open on its page with the control focused, and stores nothing
// (not even the pages that were fine).
TEST_F(SheetTest, RefusalsNameTheProblemAndStoreNothing)
{
    FakeRas ras; // dial-up support, so that the LAN box can be cleared
    rasLibrary = FAKE_RAS_FULL;
    startHub();
    struct Case {
        int page;
        const char* control;
        QString text;
        QString message;
        const char* enabler = nullptr; // the box that enables the control
    };
    const QString integer = QStringLiteral("Please enter an integer.");
    const QString positive = QStringLiteral("Please enter a positive integer.");
    const QString rateRange = QStringLiteral("Please enter an integer between 1 and 45.");
    const QString tooLong =
        QStringLiteral("This password is too long to be stored. Please enter a shorter one.");
    const Case cases[] = {
        {Sheet::CapturePage, "captureInterval", QStringLiteral("abc"), integer},
        {Sheet::CapturePage, "archiveInterval", QStringLiteral("-1"), positive},
        {Sheet::CapturePage, "numberOfArchives", QString(), integer},
        {Sheet::DevicePage, "previewRate", QStringLiteral("46"), rateRange},
        {Sheet::DevicePage, "previewRate", QStringLiteral("0"), rateRange},
        {Sheet::DevicePage, "previewRate", QStringLiteral("-5"), positive},
        {Sheet::DevicePage, "previewLeadTime", QStringLiteral("1.5"), positive, "disablePreview"},
        {Sheet::LocationPage, "ftpFileName", QStringLiteral("cam.png"),
         QStringLiteral("Filename must have a .JPG extension")},
        {Sheet::LocationPage, "ftpPassword", QString(1025, u'x'),
         QStringLiteral("Please enter no more than 1024 characters.")},
        {Sheet::LocationPage, "ftpPassword", QString(600, u' '), tooLong},
        {Sheet::ConnectionPage, "password", QString(600, u' '), tooLong, "useLan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.control) + " = " + c.text.left(20).toStdString());
        prompter.clear();
        const Keys before = fileKeys();
        openSheet(Sheet::GeneralPage); // a page that is fine, shown first
        sheet->setCurrentPage(c.page);
        if (c.enabler)
            click(c.enabler);
        QWidget* control = find<QWidget>(c.control);
        ASSERT_TRUE(control->isEnabled());
        if (auto* e = qobject_cast<QLineEdit*>(control))
            e->setMaxLength(4096); // the edit's own limit would cut the text first
        type(c.control, c.text);
        sheet->setCurrentPage(Sheet::GeneralPage);
        click("ok");
        EXPECT_EQ(prompter.texts(), std::vector<std::string>{c.message.toStdString()});
        ASSERT_FALSE(prompter.shown().empty());
        EXPECT_EQ(prompter.shown()[0].icon, PromptIcon::Exclamation);
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(sheet->currentPage(), c.page);
        QWidget* focus = sheet->focusWidget();
        EXPECT_TRUE(focus == control || control->isAncestorOf(focus));
        EXPECT_EQ(fileKeys(), before);
        sheet.reset();
    }
}

// TLS goes with a direct log-on only: a proxy would see the password in clear.
TEST_F(SheetTest, SecurityWithAProxyIsRefusedAndVerifyFollowsSecurity)
{
    startHub();
    openSheet(Sheet::LocationPage);
    auto* security = find<QComboBox>("ftpSecurity");
    auto* verify = find<QCheckBox>("verifyCertificate");
    EXPECT_EQ(security->currentIndex(), 0);
    EXPECT_FALSE(verify->isEnabled());
    security->setCurrentIndex(1);
    EXPECT_TRUE(verify->isEnabled());
    click("useProxy");
    const Keys before = fileKeys();
    click("ok");
    EXPECT_EQ(prompter.texts(),
              std::vector<std::string>{"TLS cannot be used with an FTP proxy log-on.\nTurn off "
                                       "\"Use FTP Proxy\" or set Security to None."});
    EXPECT_EQ(sheet->focusWidget(), security);
    EXPECT_EQ(fileKeys(), before);
    click("useProxy");
    security->setCurrentIndex(2);
    click("ok");
    EXPECT_EQ(IniReadInt("UploadOptions", "FTPSecurity", -1), 2);
    EXPECT_EQ(hub->Settings().m_nFTPSecurity, 2);
}

TEST_F(SheetTest, TheFileNameRuleGivesWayToSaveAsFile)
{
    startHub();
    struct Case {
        const char* name;
        bool saveAsFile;
        bool accepted;
    };
    for (const Case& c : {Case{"cam.JPG", false, true}, Case{"cam.png", false, false},
                          Case{"cam.png", true, true}}) {
        SCOPED_TRACE(c.name);
        prompter.clear();
        openSheet(Sheet::LocationPage);
        type("ftpFileName", QString::fromLatin1(c.name));
        find<QCheckBox>("saveAsFile")->setChecked(c.saveAsFile);
        click("ok");
        EXPECT_EQ(sheet->result() == QDialog::Accepted, c.accepted);
        if (c.accepted)
            EXPECT_EQ(fileKeys()["UploadOptions/FTPFilename"], c.name);
        else
            EXPECT_EQ(prompter.texts(),
                      std::vector<std::string>{"Filename must have a .JPG extension"});
        sheet.reset();
    }
}

// Alt+letter on every page: no letter twice on a page, none that the sheet's own buttons use
// (Alt+A is Apply), and a label's letter reaches a control. On the Device, Capture and General
// pages every button, box and control caption has a letter (a "..." button has none to give, and
// the words after a field, "seconds …", are no caption).
TEST_F(SheetTest, MnemonicsAreUniqueOnEachPageAndLeaveTheSheetsButtonsAlone)
{
    startHub();
    openSheet();
    const auto mnemonic = [](const QString& text) {
        return QKeySequence::mnemonic(text).toString(QKeySequence::PortableText);
    };
    std::set<QString> sheetKeys;
    for (QAbstractButton* b : sheet->findChildren<QAbstractButton*>()) {
        bool onPage = false;
        for (int i = 0; i <= Sheet::GeneralPage; ++i)
            onPage = onPage || sheet->page(i)->isAncestorOf(b);
        if (!onPage && !mnemonic(b->text()).isEmpty())
            sheetKeys.insert(mnemonic(b->text()));
    }
    ASSERT_TRUE(sheetKeys.count("Alt+A")); // Apply

    const std::set<int> everyCaption = {Sheet::DevicePage, Sheet::CapturePage, Sheet::GeneralPage};
    for (int i = 0; i <= Sheet::GeneralPage; ++i) {
        SCOPED_TRACE(i);
        QWidget* page = sheet->page(i);
        std::map<QString, QStringList> texts; // mnemonic -> texts that use it
        const bool required = everyCaption.count(i) > 0;
        const auto check = [&](const QString& text, bool needsOne) {
            const QString key = mnemonic(text);
            if (!key.isEmpty())
                texts[key] << text;
            else if (required && needsOne && text.contains(QRegularExpression("[A-Za-z]")))
                ADD_FAILURE() << "no mnemonic: " << text.toStdString();
        };
        for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
            check(b->text(), true);
        for (QGroupBox* g : page->findChildren<QGroupBox*>())
            check(g->title(), true);
        for (QLabel* l : page->findChildren<QLabel*>()) {
            if (!mnemonic(l->text()).isEmpty() && !l->buddy())
                ADD_FAILURE() << "a mnemonic without a control: " << l->text().toStdString();
            check(l->text(), l->buddy() != nullptr);
        }
        EXPECT_GE(texts.size(), 3u);
        for (const auto& [key, users] : texts) {
            EXPECT_EQ(users.size(), 1)
                << key.toStdString() << " on " << users.join(", ").toStdString();
            EXPECT_FALSE(sheetKeys.count(key))
                << key.toStdString() << " is the sheet's, also on " << users.front().toStdString();
        }
    }
}

// The sheet fits a 1024 x 600 screen with a panel, whatever upload target the Location page
// shows: the fields a target does not use are out of sight, and every field in sight lies inside
// the page.
TEST_F(SheetTest, TheSheetFitsASmallScreenForEveryUploadTarget)
{
    startHub();
    openSheet(Sheet::LocationPage);
    auto* target = find<QComboBox>("uploadTarget");
    QWidget* page = sheet->page(Sheet::LocationPage);
    QApplication::processEvents();
    EXPECT_LE(sheet->height(), 560) << "as it opens";
    for (int i = 0; i < target->count(); ++i) {
        SCOPED_TRACE(target->itemText(i).toStdString());
        target->setCurrentIndex(i);
        QApplication::processEvents();
        sheet->resize(sheet->width(), 0); // as small as its layout lets it be
        QApplication::processEvents();
        EXPECT_LE(sheet->height(), 560);
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (!w->isVisible() || w->parentWidget() != page)
                continue;
            EXPECT_TRUE(page->rect().contains(w->geometry()))
                << w->objectName().toStdString() << " is cut";
        }
        EXPECT_EQ(find<QWidget>("ftpServer")->isVisible(), i <= 1); // FTP and SFTP
        EXPECT_EQ(find<QWidget>("s3Bucket")->isVisible(), i == 3);
        EXPECT_EQ(find<QWidget>("passiveMode")->isVisible(), i == 0);
    }
}

// A message box raised from the sheet, whose parent is the main window, hands the focus back to
// the sheet when it closes (the window behind is blocked by the sheet), onto what it refused.
TEST_F(SheetTest, AMessageBoxGivesTheFocusBackToTheSheet)
{
    startHub();
    QWidget main;
    main.show();
    MessageBoxPrompter boxes(QStringLiteral("Vistrel"), &main);
    CMyPropertySheet modal(*hub, boxes, &main, dialogs);
    modal.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &modal; }));
    auto* rate = modal.findChild<CUpDownEdit*>("previewRate");
    rate->edit()->setText(QStringLiteral("0"));
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box";
            return;
        }
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    modal.accept();
    EXPECT_TRUE(shown.startsWith("Please enter an integer between")) << shown.toStdString();
    EXPECT_TRUE(modal.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &modal; }, 1000));
    QTest::qWait(50); // nothing takes it away again
    EXPECT_EQ(QApplication::activeWindow(), &modal);
    EXPECT_EQ(QApplication::focusWidget(), rate);
}

TEST_F(SheetTest, HelpOpensTheTopicOfThePageShown)
{
    startHub();
    openSheet();
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
    struct Topic {
        int page;
        int topic;
        const char* control; // one of the page's controls
    };
    const Topic topics[] = {
        {Sheet::DevicePage, 55, "disablePreview"}, {Sheet::ImagePage, 50, "quality"},
        {Sheet::CapturePage, 45, "onlyBetween"},   {Sheet::LocationPage, 35, "ftpServer"},
        {Sheet::ConnectionPage, 30, "useLan"},     {Sheet::GeneralPage, 65, "runMinimized"},
    };
    for (const auto& [page, topic, name] : topics) {
        SCOPED_TRACE(topic);
        sheet->setCurrentPage(page);
        click("help");
        EXPECT_EQ(CurrentHelpTopic(), topic);
        CloseHelpWindow();
        // F1 on a control of the page.
        sheet->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
        QWidget* control = find<QWidget>(name);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_F1);
        EXPECT_EQ(CurrentHelpTopic(), topic);
        CloseHelpWindow();
    }
}

} // namespace
} // namespace vistrel::test
