#include "ui/dialogs/CFtpDirDialog.h"

#include "ui/dialogs/BackgroundAction.h"
#include "ui/dialogs/CNewDirDialog.h"

#include <QCollator>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <memory>

// The icons live in this static library's resources, which the linker keeps only when asked.
static void initDialogResources()
{
    Q_INIT_RESOURCE(dialogs);
}

namespace vistrel {

namespace {
const char* const kUpIcon = ":/dialogs/icons/178.svg";
const char* const kFolderIcon = ":/dialogs/icons/179.svg";
const char* const kNewFolderIcon = ":/dialogs/icons/180.svg";
constexpr int kNameRole = Qt::UserRole; // the name's bytes as the server sent them
} // namespace

CFtpDirDialog::CFtpDirDialog(const FtpBrowseSettings& settings, DialogServices services,
                             QWidget* parent)
    : QDialog(parent), m_support(std::move(services), this), m_settings(settings),
      m_strResult(settings.directory), m_pAction(new BackgroundAction(this))
{
    initDialogResources();
    setWindowTitle(QStringLiteral("Select FTP Directory"));

    auto* label = new QLabel(QStringLiteral("Current Directory"), this);
    m_pCurrent = new QLabel(this);
    m_pCurrent->setObjectName(QStringLiteral("currentDirectory"));
    m_pCurrent->setFrameShape(QFrame::StyledPanel);
    m_pCurrent->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pCurrent->setMinimumWidth(220);

    m_pUp = new QPushButton(QIcon(QString::fromLatin1(kUpIcon)), QString(), this);
    m_pUp->setObjectName(QStringLiteral("up"));
    m_pUp->setToolTip(QStringLiteral("Up one level"));
    m_pUp->setAccessibleName(QStringLiteral(".."));
    m_pNew = new QPushButton(QIcon(QString::fromLatin1(kNewFolderIcon)), QString(), this);
    m_pNew->setObjectName(QStringLiteral("newDirectory"));
    m_pNew->setToolTip(QStringLiteral("New Directory"));
    m_pNew->setAccessibleName(QStringLiteral("New Directory"));
    for (QPushButton* b : {m_pUp, m_pNew}) {
        b->setAutoDefault(false);
        b->setIconSize(QSize(16, 16));
    }

    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("directories"));
    m_pList->setViewMode(QListView::ListMode);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setIconSize(QSize(16, 16));
    m_pList->setMinimumSize(320, 200);
    m_pList->installEventFilter(this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_pOk = buttons->button(QDialogButtonBox::Ok);
    m_pCancel = buttons->button(QDialogButtonBox::Cancel);
    m_pCancel->setCursor(Qt::ArrowCursor); // the one control that works while a session runs
    connect(buttons, &QDialogButtonBox::accepted, this, &CFtpDirDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFtpDirDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(m_pCurrent, 1);
    top->addWidget(m_pUp);
    top->addWidget(m_pNew);
    auto* layout = new QGridLayout(this);
    layout->addLayout(top, 0, 0);
    layout->addWidget(m_pList, 1, 0);
    layout->addWidget(buttons, 2, 0);

    connect(m_pList, &QListWidget::itemDoubleClicked, this, &CFtpDirDialog::OnOpenItem);
    connect(m_pUp, &QPushButton::clicked, this, &CFtpDirDialog::OnUp);
    connect(m_pNew, &QPushButton::clicked, this, &CFtpDirDialog::OnNewDirectory);
}

CFtpDirDialog::~CFtpDirDialog() = default;

QString CFtpDirDialog::CurrentDirectory() const
{
    return m_pCurrent->text();
}

QStringList CFtpDirDialog::Entries() const
{
    QStringList entries;
    for (int i = 0; i < m_pList->count(); ++i)
        entries << m_pList->item(i)->text();
    return entries;
}

bool CFtpDirDialog::Busy() const
{
    return m_pAction->Running();
}

void CFtpDirDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_bStarted)
        return;
    m_bStarted = true;
    // The first listing starts once the dialog is on the screen.
    QTimer::singleShot(0, this, [this] {
        Browse(m_settings.directory, [this](bool ok) {
            if (!ok)
                done(0);
        });
    });
}

void CFtpDirDialog::closeEvent(QCloseEvent* event)
{
    // Closing the window means leaving it, even in the middle of an action.
    if (Busy()) {
        if (m_pListingCancelled)
            *m_pListingCancelled = true;
        m_pAction->Abandon();
        SetBusy(false);
    }
    QDialog::closeEvent(event);
}

bool CFtpDirDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on an entry opens it (rather than pressing OK).
    if (watched == m_pList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_pList->currentItem()) {
            OnOpenItem(m_pList->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CFtpDirDialog::Run(std::function<FtpBrowseOutcome()> work,
                        std::function<void(const FtpBrowseOutcome&)> finished)
{
    auto outcome = std::make_shared<FtpBrowseOutcome>();
    SetBusy(true);
    m_pAction->Start([outcome, work = std::move(work)] { *outcome = work(); },
                     [this, outcome, finished = std::move(finished)] {
                         SetBusy(false);
                         for (const std::string& message : outcome->messages)
                             m_support.Message(message);
                         finished(*outcome);
                     });
}

void CFtpDirDialog::Browse(const std::string& directory, std::function<void(bool)> then)
{
    FtpBrowseSettings settings = m_settings;
    m_pListingCancelled = std::make_shared<std::atomic<bool>>(false);
    settings.cancelled = m_pListingCancelled;
    Run([settings, directory] { return BrowseFtpDirectory(settings, directory); },
        [this, then = std::move(then)](const FtpBrowseOutcome& outcome) {
            m_pList->clear();
            if (outcome.ok) {
                m_bListed = true;
                m_strCurrent = outcome.directory;
                m_pCurrent->setText(QString::fromStdString(m_strCurrent));
                std::vector<std::string> names = outcome.entries;
                QCollator collator;
                collator.setNumericMode(true);
                collator.setCaseSensitivity(Qt::CaseInsensitive);
                std::stable_sort(names.begin(), names.end(),
                                 [&collator](const std::string& a, const std::string& b) {
                                     return collator.compare(QString::fromStdString(a),
                                                             QString::fromStdString(b)) < 0;
                                 });
                const QIcon folder(QString::fromLatin1(kFolderIcon));
                for (const std::string& name : names) {
                    auto* item = new QListWidgetItem(folder, QString::fromStdString(name), m_pList);
                    item->setData(kNameRole, QByteArray::fromStdString(name));
                }
                // The keyboard goes back to the list (disabling it while busy moved the focus
                // on to Cancel): the arrows move in it and Enter opens the folder.
                if (m_pList->count() > 0)
                    m_pList->setCurrentRow(0);
                m_pList->setFocus(Qt::OtherFocusReason);
            }
            then(outcome.ok);
        });
}

void CFtpDirDialog::OnOpenItem(QListWidgetItem* item)
{
    if (!item || Busy())
        return;
    const std::string name = item->data(kNameRole).toByteArray().toStdString();
    Browse(JoinRemotePath(m_strCurrent, name), [](bool) {});
}

void CFtpDirDialog::OnUp()
{
    if (Busy())
        return;
    Browse(JoinRemotePath(m_strCurrent, ".."), [this](bool ok) {
        if (!ok)
            done(0);
    });
}

void CFtpDirDialog::OnNewDirectory()
{
    if (Busy())
        return;
    CNewDirDialog ask(this);
    if (ask.exec() != QDialog::Accepted)
        return;
    const FtpBrowseSettings settings = m_settings;
    const std::string parent = m_strCurrent;
    const std::string name = ask.DirectoryName().toStdString();
    Run([settings, parent, name] { return MakeFtpDirectory(settings, parent, name); },
        [this](const FtpBrowseOutcome& outcome) {
            if (outcome.ok)
                Browse(m_strCurrent, [](bool) {});
        });
}

void CFtpDirDialog::accept()
{
    if (Busy())
        return;
    m_strResult = m_strCurrent;
    QDialog::accept();
}

void CFtpDirDialog::reject()
{
    if (Busy()) {
        if (m_pListingCancelled)
            *m_pListingCancelled = true;
        m_pAction->Abandon();
        SetBusy(false);
        if (m_bListed)
            return; // back to what the dialog showed before the action
    }
    QDialog::reject();
}

void CFtpDirDialog::SetBusy(bool busy)
{
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
    for (QWidget* w : std::initializer_list<QWidget*>{m_pList, m_pUp, m_pNew, m_pOk})
        w->setEnabled(!busy);
}

} // namespace vistrel
