#include "ui/sheet/CMyPropertySheet.h"

#include "config/SettingsFile.h"
#include "platform/Prompter.h"
#include "ui/HelpWindow.h"
#include "ui/sheet/CapturePage.h"
#include "ui/sheet/ConnectionPage.h"
#include "ui/sheet/DevicePage.h"
#include "ui/sheet/GeneralPage.h"
#include "ui/sheet/ImagePage.h"
#include "ui/sheet/LocationPage.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vistrel {

// A message box's parent is the main window, which the window system activates when the box
// closes; the window the box was raised from (the sheet, or a dialog of a page) takes the focus
// back instead, on the control that had it.
class CMyPropertySheet::FocusReturningPrompter final : public Prompter {
  public:
    explicit FocusReturningPrompter(Prompter& inner) : m_inner(inner) {}

    void message(const std::string& text, PromptIcon icon) override
    {
        const Returning back;
        m_inner.message(text, icon);
    }
    bool askYesNo(const std::string& text) override
    {
        const Returning back;
        return m_inner.askYesNo(text);
    }

  private:
    struct Returning {
        QPointer<QWidget> window = QApplication::activeWindow();
        QPointer<QWidget> focus = QApplication::focusWidget();
        ~Returning()
        {
            if (!window || !window->isVisible() || QApplication::activeWindow() == window)
                return;
            window->activateWindow();
            if (focus && focus->isVisible() && focus->window() == window)
                focus->setFocus(Qt::ActiveWindowFocusReason);
        }
    };
    Prompter& m_inner;
};

CMyPropertySheet::CMyPropertySheet(Hub& hub, Prompter& prompter, QWidget* parent,
                                   SheetDialogs dialogs)
    : QDialog(parent), m_hub(hub),
      m_ownPrompter(std::make_unique<FocusReturningPrompter>(prompter)), m_prompter(*m_ownPrompter),
      m_dialogs(std::move(dialogs))
{
    // A message box of the sheet's (its parent the main window) closing activates the window
    // behind, which the sheet blocks: the sheet takes the focus back, where it left it.
    if (parent)
        parent->window()->installEventFilter(this);
    setWindowTitle(QStringLiteral("Vistrel Settings"));
    setObjectName(QStringLiteral("settingsSheet"));

    m_pTabs = new QTabWidget(this);
    // The pages keep their established class names, whose numbers do not follow the tabs:
    //   CMyPropertyPage7  Device      capture driver, preview rate and lead time, network cameras
    //   CMyPropertyPage3  Image       banner, date and time stamp, logo, JPEG options
    //   CMyPropertyPage6  Capture     interval, hours of operation, archive interval and order
    //   CMyPropertyPage2  Location    FTP target and options, FTP proxy, local copy
    //   CMyPropertyPage1  Connection  LAN or dial-up and its log-in data
    //   CMyPropertyPage5  General     start-up, tray, logging, error messages, sound, View
    m_pages = {
        new CMyPropertyPage7(hub, m_prompter, m_pTabs),
        new CMyPropertyPage3(hub, m_prompter, m_dialogs, m_pTabs),
        new CMyPropertyPage6(hub, m_prompter, m_pTabs),
        new CMyPropertyPage2(hub, m_prompter, m_dialogs, m_pTabs),
        new CMyPropertyPage1(hub, m_prompter, m_pTabs),
        new CMyPropertyPage5(hub, m_prompter, m_pTabs),
    };
    for (CSettingsPage* p : m_pages) {
        m_pTabs->addTab(p, p->title());
        connect(p, &CSettingsPage::modified, this, [this] { m_pApply->setEnabled(true); });
    }

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_pApply = buttons->addButton(QStringLiteral("&Apply"), QDialogButtonBox::ApplyRole);
    QPushButton* help = buttons->addButton(QStringLiteral("Help"), QDialogButtonBox::HelpRole);
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));
    m_pApply->setObjectName(QStringLiteral("apply"));
    help->setObjectName(QStringLiteral("help"));
    ok->setDefault(true);
    m_pApply->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMyPropertySheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CMyPropertySheet::reject);
    connect(m_pApply, &QPushButton::clicked, this, &CMyPropertySheet::apply);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &CMyPropertySheet::OnHelp);
    // F1 inside a page opens that page's topic (each page has its own shortcut); on the tabs and
    // the buttons it opens the topic of the page shown.
    for (QWidget* outside :
         {static_cast<QWidget*>(buttons), static_cast<QWidget*>(m_pTabs->tabBar())}) {
        auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), outside);
        f1->setContext(Qt::WidgetWithChildrenShortcut);
        connect(f1, &QShortcut::activated, this, &CMyPropertySheet::OnHelp);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
    layout->addWidget(buttons);
    connect(m_pTabs, &QTabWidget::currentChanged, this, &CMyPropertySheet::OnPageShown);
}

CMyPropertySheet::~CMyPropertySheet() = default;

CSettingsPage* CMyPropertySheet::page(int index) const
{
    return index >= 0 && index < static_cast<int>(m_pages.size())
               ? m_pages[static_cast<std::size_t>(index)]
               : nullptr;
}

int CMyPropertySheet::currentPage() const
{
    return m_pTabs->currentIndex();
}

void CMyPropertySheet::setCurrentPage(int index)
{
    m_pTabs->setCurrentIndex(index);
    OnPageShown(m_pTabs->currentIndex());
}

void CMyPropertySheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    OnPageShown(m_pTabs->currentIndex());
}

void CMyPropertySheet::OnPageShown(int index)
{
    if (CSettingsPage* p = page(index))
        p->open();
}

void CMyPropertySheet::OnHelp()
{
    if (CSettingsPage* p = page(currentPage()))
        ShowHelpTopic(p->helpContext(), this);
}

bool CMyPropertySheet::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && isVisible() &&
        QApplication::activeModalWidget() == this)
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && QApplication::activeModalWidget() == this)
                activateWindow();
        });
    return QDialog::eventFilter(watched, event);
}

bool CMyPropertySheet::apply()
{
    if (m_bEveryPage)
        for (CSettingsPage* p : m_pages)
            if (!p->isOpen())
                p->open();
    // Every shown page is checked before any is stored, so a refusal leaves the file untouched.
    for (CSettingsPage* p : m_pages) {
        if (!p->isOpen())
            continue;
        const std::optional<PageRefusal> refusal = p->validate();
        if (!refusal)
            continue;
        m_pTabs->setCurrentWidget(p);
        m_prompter.message(refusal->message.toStdString());
        if (QWidget* control = refusal->control) {
            control->setFocus(Qt::OtherFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(control))
                edit->selectAll();
            else if (auto* spin = qobject_cast<QAbstractSpinBox*>(control))
                spin->selectAll();
        }
        return false;
    }
    bool stored = true;
    for (CSettingsPage* p : m_pages)
        if (p->isOpen())
            stored = p->apply() && stored;
    if (!stored) {
        // Closing as if all were well would lose the user's settings without a word.
        m_prompter.message("Unable to save the settings to " + SettingsFilePath() + ".");
        return false;
    }
    m_pApply->setEnabled(false);
    return true;
}

void CMyPropertySheet::accept()
{
    if (apply())
        QDialog::accept();
}

void CMyPropertySheet::reject()
{
    for (CSettingsPage* p : m_pages)
        if (p->isOpen())
            p->cancel();
    QDialog::reject();
}

} // namespace vistrel
