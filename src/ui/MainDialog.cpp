#include "ui/MainDialog.h"

#include "config/SettingsCheck.h"
#include "config/SettingsFile.h"
#include "ui/AboutBox.h"
#include "ui/DialogUnits.h"
#include "ui/HelpWindow.h"
#include "ui/ImageView.h"
#include "ui/PreviewWidget.h"
#include "ui/WindowUtils.h"
#include "ui/sheet/CMyPropertySheet.h"
#include "widgets/MessageBoxPrompter.h"
#include "widgets/SessionEnd.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextLayout>
#include <QTimer>

namespace vistrel {

namespace {

constexpr const char* kCaption = "Vistrel";

// text as it fits a word-wrapped field of width pixels and maxLines lines: the lines that do not
// fit are left out and the last one shown ends in an ellipsis. A last line of its own (tail, such
// as "Auto-Capture Disabled") is kept whole.
QString FitLines(const QString& text, const QFont& font, int width, int maxLines,
                 const QString& tail = QString())
{
    const int bodyLines = tail.isEmpty() ? maxLines : maxLines - 1;
    const QFontMetrics metrics(font);
    QStringList shown;
    bool cut = false;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        layout.beginLayout();
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(width);
            if (static_cast<int>(shown.size()) == bodyLines) {
                cut = true;
                break;
            }
            shown.append(paragraph.mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
        if (cut)
            break;
    }
    if (cut && !shown.isEmpty())
        shown.back() =
            metrics.elidedText(shown.back() + QStringLiteral(" \u2026"), Qt::ElideRight, width);
    if (!tail.isEmpty())
        shown.append(tail);
    return shown.join(QLatin1Char('\n'));
}

} // namespace

CMainDialog::CMainDialog(Options options)
    : QDialog(nullptr), m_options(std::move(options)), m_tray(m_options.trayAvailable)
{
    // A main window of its own (listed in the taskbar), fixed in size, without a maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QLatin1String(kCaption));
    setWindowIcon(ProgramIcon(kIconProgram));

    if (m_options.prompter) {
        m_pPrompter = m_options.prompter;
    } else {
        m_ownPrompter = std::make_unique<MessageBoxPrompter>(QLatin1String(kCaption), this);
        m_pPrompter = m_ownPrompter.get();
    }
    m_hub = std::make_unique<Hub>(*m_pPrompter, *this, m_options.dialUp, *m_options.drivers,
                                  m_options.hub);
    CreateControls();
    CreateMenus();
    ConnectHub();
    AddHelpShortcut(this, kHelpMainWindow);
    m_exitRetry.setInterval(50);
    connect(&m_exitRetry, &QTimer::timeout, this, [this] {
        if (!MustCloseWindowsFirst()) {
            m_exitRetry.stop();
            OnCancel();
        }
    });
}

CMainDialog::~CMainDialog()
{
    m_pPreview->Attach(nullptr);
    CloseHelpWindow();
}

void CMainDialog::CreateControls()
{
    const DialogBaseUnits units = BaseUnitsOf(font());
    auto place = [&](QWidget* w, int x, int y, int cx, int cy) {
        w->setGeometry(DialogUnitsToPixels(units, x, y, cx, cy));
    };
    setFixedSize(DialogUnitsToPixels(units, 0, 0, 367, 162).size());

    m_pPreviewFrame = new QFrame(this);
    m_pPreviewFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_pPreviewFrame->setLineWidth(1);
    // Black inside, like a screen: the 320 x 240 preview sits in its top-left corner.
    QPalette black = m_pPreviewFrame->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    black.setColor(QPalette::Window, Qt::black);
    m_pPreviewFrame->setPalette(black);
    m_pPreviewFrame->setAutoFillBackground(true);
    place(m_pPreviewFrame, 6, 5, 215, 150);
    m_pPreview = new CPreviewWidget(this);
    const PreviewGeometry area = PreviewWindowRect(m_pPreviewFrame->x(), m_pPreviewFrame->y(),
                                                   PlacePreviewGeometry(320, 240));
    m_pPreview->setGeometry(area.x, area.y, area.width, area.height);

    auto label = [&](const QString& text, int y, int cy) {
        auto* l = new QLabel(text, this);
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l->setWordWrap(true);
        place(l, 228, y, 133, cy);
        return l;
    };
    label(QStringLiteral("Capture Device"), 6, 8);
    m_pDriverField = label(QStringLiteral("Getting Driver Information..."), 16, 18);
    label(QStringLiteral("Status"), 40, 8);
    m_pStatusField = label(QString(), 50, 26);

    struct ButtonPlace {
        int id;
        const char* text;
        int x, y;
        void (CMainDialog::*command)();
    };
    const ButtonPlace buttons[] = {
        {kIdCapture, "&Capture", 230, 78, &CMainDialog::OnCapture},
        {kIdSettings, "&Settings", 297, 78, &CMainDialog::OnSettings},
        {kIdView, "&View", 230, 96, &CMainDialog::OnView},
        {kIdAbout, "&About", 297, 96, &CMainDialog::OnAbout},
        {kIdHelp, "&Help", 230, 114, &CMainDialog::OnHelp},
        {kIdExit, "E&xit", 297, 114, nullptr},
    };
    for (const ButtonPlace& entry : buttons) {
        auto* b = new QPushButton(QLatin1String(entry.text), this);
        place(b, entry.x, entry.y, 62, 14);
        b->setDefault(false); // none of the buttons is the default one
        if (entry.command)
            connect(b, &QPushButton::clicked, this, entry.command);
        else
            connect(b, &QPushButton::clicked, this, &CMainDialog::OnCancel);
        m_buttons[entry.id] = b;
    }

    auto* maker = label(QStringLiteral("tessel software"), 142, 8);
    maker->setEnabled(false);
}

void CMainDialog::CreateMenus()
{
    m_pTrayMenu = new QMenu(this);
    struct Item {
        int id;
        const char* text;
        void (CMainDialog::*command)();
    };
    const Item items[] = {
        {kIdShowWindow, "Show Window...", &CMainDialog::OnShowWindow},
        {kIdCapture, "Capture", &CMainDialog::OnCapture},
        {kIdAutoCapture, "Auto-Capture", &CMainDialog::OnToggleAutoCapture},
        {kIdView, "View...", &CMainDialog::OnView},
        {kIdSettings, "Settings...", &CMainDialog::OnSettings},
        {0, nullptr, nullptr},
        {kIdHelp, "Help", &CMainDialog::OnHelp},
        {kIdAbout, "About Vistrel...", &CMainDialog::OnAbout},
        {0, nullptr, nullptr},
        {kIdExit, "Exit", nullptr},
    };
    for (const Item& item : items) {
        if (!item.text) {
            m_pTrayMenu->addSeparator();
            continue;
        }
        QAction* action = m_pTrayMenu->addAction(QLatin1String(item.text));
        if (item.command)
            connect(action, &QAction::triggered, this, item.command);
        else
            connect(action, &QAction::triggered, this, &CMainDialog::OnCancel);
        m_trayActions[item.id] = action;
    }
    m_trayActions[kIdAutoCapture]->setCheckable(true);
    connect(m_pTrayMenu, &QMenu::aboutToShow, this, &CMainDialog::UpdateTrayMenu);
    connect(&m_tray, &CSystemTray::menuRequested, this, &CMainDialog::OnTrayMenuRequested);

    // Desktops give a program no system menu of its own: Auto-Capture is in the window's
    // context menu instead.
    m_pWindowMenu = new QMenu(this);
    m_pWindowAutoCapture = m_pWindowMenu->addAction(QStringLiteral("Auto-Capture"));
    m_pWindowAutoCapture->setCheckable(true);
    connect(m_pWindowAutoCapture, &QAction::triggered, this, &CMainDialog::OnToggleAutoCapture);
    connect(m_pWindowMenu, &QMenu::aboutToShow, this,
            [this] { m_pWindowAutoCapture->setChecked(!m_hub->AutoCaptureDisabled()); });
}

void CMainDialog::ConnectHub()
{
    Hub* hub = m_hub.get();
    // The status replaces the settings warnings and their tooltip (SetStatusField sets its own).
    connect(hub, &Hub::statusChanged, this, &CMainDialog::SetStatusField);
    connect(hub, &Hub::driverInfoChanged, this, &CMainDialog::SetDriverField);
    connect(hub, &Hub::cycleRunningChanged, this, [this](bool running) {
        button(kIdCapture)->setEnabled(!running);
        UpdateTrayMenu();
    });
    connect(hub, &Hub::trayTipChanged, &m_tray, &CSystemTray::SetTooltipText);
    connect(hub, &Hub::trayIconChanged, &m_tray, &CSystemTray::SetIcon);
    connect(hub, &Hub::trayInUseChanged, this, &CMainDialog::OnTrayInUseChanged);
    connect(hub, &Hub::captureDeviceChanged, this, &CMainDialog::OnCaptureDeviceChanged);

    connect(m_pPreview, &CPreviewWidget::pictureLost, this, [this](const QString& reason) {
        const QString name = QString::fromStdString(m_hub->DriverInfo()).section('\n', 0, 0);
        // A network camera's reason says "No picture from <host>: …" itself.
        const QString prefix = QStringLiteral("No picture");
        SetDriverField(
            name + QLatin1Char('\n') +
            (reason.startsWith(prefix) ? reason : prefix + QStringLiteral(": ") + reason));
    });
    connect(m_pPreview, &CPreviewWidget::pictureBack, this,
            [this] { SetDriverField(QString::fromStdString(m_hub->DriverInfo())); });
}

void CMainDialog::OnInitDialog()
{
    m_hub->LoadSettingsAtStart();
    QTimer::singleShot(0, this, &CMainDialog::OnDeferredInit);
}

void CMainDialog::OnDeferredInit()
{
    if (m_bExitRequested) {
        // The session ended before anything was started.
        done(0);
        return;
    }
    m_bStarting = true;
    const LiveSettings live = m_hub->Settings();
    // The tray comes first: minimising hides the window only when the tray holds its icon.
    m_tray.Create(QLatin1String(kCaption),
                  live.m_bDisableUpload ? kIconAutoCaptureOff : kIconNormal, kTrayIconId);
    m_tray.SetContextMenu(m_pTrayMenu);
    if (live.m_bHideWhenMinimized)
        m_tray.ShowIcon();
    else
        m_tray.HideIcon();
    if (live.m_bRunMinimized)
        showMinimized();
    const bool started = m_hub->StartRunning();
    m_bStarting = false;
    if (!started) {
        done(0);
        return;
    }
    m_bRunning = true;
    ShowSettingsWarnings();
    emit startedRunning();
    if (m_bExitRequested)
        OnCancel();
}

void CMainDialog::ShowSettingsWarnings()
{
    const std::vector<std::string> warnings = SettingsWarnings(SettingsFilePath());
    if (warnings.empty())
        return;
    QString all =
        QStringLiteral("The settings file %1:").arg(QString::fromStdString(SettingsFilePath()));
    for (const std::string& w : warnings)
        all += QLatin1Char('\n') + QString::fromStdString(w);
    QString status = QString::fromStdString(warnings.front());
    if (warnings.size() > 1)
        status += QStringLiteral(" (and %1 more: point here for all)").arg(warnings.size() - 1);
    m_pStatusField->setText(status);
    m_pStatusField->setToolTip(all);
}

void CMainDialog::SetDriverField(const QString& text)
{
    m_pDriverField->setToolTip(text.contains(QLatin1Char('\n')) ? text : QString());
    m_pDriverField->setText(FitLines(text, m_pDriverField->font(), m_pDriverField->width(), 2));
}

void CMainDialog::SetStatusField(const QString& text)
{
    // A long error keeps the line that says automatic capture is off.
    const QString tail = QStringLiteral("Auto-Capture Disabled");
    QString body = text;
    QString kept;
    if (body == tail || body.endsWith(QLatin1Char('\n') + tail)) {
        body.chop(tail.size());
        if (body.endsWith(QLatin1Char('\n')))
            body.chop(1);
        kept = tail;
    }
    const QString fitted = FitLines(body, m_pStatusField->font(), m_pStatusField->width(), 3, kept);
    m_pStatusField->setText(fitted);
    m_pStatusField->setToolTip(fitted == text ? QString() : text);
}

void CMainDialog::OnCaptureDeviceChanged()
{
    if (m_bShuttingDown)
        return;
    const CaptureView shown = m_hub->ShownCapture();
    const QRect frame = m_pPreviewFrame->geometry();
    const PreviewGeometry placed = PreviewWindowRect(
        frame.left(), frame.top(),
        shown.device ? PlacePreviewGeometry(shown.previewSize.width, shown.previewSize.height)
                     : PlacePreviewGeometry(320, 240));
    m_pPreview->setGeometry(placed.x, placed.y, placed.width, placed.height);
    m_pPreview->Attach(shown.device);
    SetDriverField(QString::fromStdString(shown.driverText));
}

void CMainDialog::OnTrayInUseChanged(bool inUse)
{
    if (inUse) {
        m_tray.ShowIcon();
        return;
    }
    m_tray.HideIcon();
    if (!isVisible())
        OnShowWindow(); // or nothing would lead back to it
}

QAction* CMainDialog::trayAction(int id) const
{
    const auto it = m_trayActions.find(id);
    return it == m_trayActions.end() ? nullptr : it->second;
}

QPushButton* CMainDialog::button(int id) const
{
    const auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

void CMainDialog::UpdateTrayMenu()
{
    trayAction(kIdAutoCapture)->setChecked(!m_hub->AutoCaptureDisabled());
    trayAction(kIdCapture)->setEnabled(button(kIdCapture)->isEnabled());
    trayAction(kIdSettings)->setEnabled(button(kIdSettings)->isEnabled());
    trayAction(kIdAbout)->setEnabled(button(kIdAbout)->isEnabled());
}

void CMainDialog::OnTrayMenuRequested()
{
    UpdateTrayMenu();
    m_pTrayMenu->popup(QCursor::pos());
}

void CMainDialog::contextMenuEvent(QContextMenuEvent* event)
{
    m_pWindowMenu->popup(event->globalPos());
}

void CMainDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Hidden, the window is reached through the tray icon; without a tray it stays where it is.
    if (m_hub->Settings().m_bHideWhenMinimized && m_tray.IsShown())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && m_tray.IsShown())
                hide();
        });
}

void CMainDialog::OnShowWindow()
{
    showNormal();
    raise();
    activateWindow();
}

void CMainDialog::OnCapture()
{
    m_hub->OnCaptureCommand();
}

void CMainDialog::OnToggleAutoCapture()
{
    m_hub->ToggleAutoCapture();
}

void CMainDialog::OnHelp()
{
    ShowHelpTopic(kHelpMainWindow, this);
}

void CMainDialog::OpenHelpTopic(int context)
{
    if (SessionEnding())
        return;
    ShowHelpTopic(context, this);
}

void CMainDialog::Redraw()
{
    update();
}

bool CMainDialog::ExecSettingsSheet(bool storeEveryPage)
{
    if (SessionEnding() || m_bExitRequested)
        return false;
    m_bSheetOpen = true;
    bool ok = false;
    if (m_options.settingsSheet) {
        ok = m_options.settingsSheet(this);
    } else {
        CMyPropertySheet sheet(*m_hub, *m_pPrompter, this);
        sheet.setStoreEveryPage(storeEveryPage);
        PrepareDialogOfMainWindow(&sheet, this);
        ok = sheet.exec() == QDialog::Accepted;
    }
    m_bSheetOpen = false;
    return ok;
}

bool CMainDialog::RunSettingsSheet()
{
    // The version check's sheet counts as the open sheet too: the tray's "Settings..." brings
    // it to the front.
    QPushButton* settings = button(kIdSettings);
    settings->setEnabled(false);
    // The version check's sheet (a first start) stores every page's shown values on OK.
    const bool ok = ExecSettingsSheet(true);
    settings->setEnabled(true);
    return ok;
}

bool CMainDialog::OpenOneWindow(int id, const char* title)
{
    QPushButton* command = button(id);
    if (!command->isEnabled()) {
        BringWindowToFront(QLatin1String(title));
        return false;
    }
    command->setEnabled(false);
    return true;
}

void CMainDialog::OnSettings()
{
    if (!OpenOneWindow(kIdSettings, kSettingsTitle))
        return;
    m_hub->SettingsSheetClosed(ExecSettingsSheet(false));
    button(kIdSettings)->setEnabled(true);
}

void CMainDialog::OnAbout()
{
    if (!OpenOneWindow(kIdAbout, kAboutTitle))
        return;
    QPushButton* about = button(kIdAbout);
    auto* box = new CAboutBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QDialog::finished, this, [about] { about->setEnabled(true); });
    box->open();
}

void CMainDialog::OnView()
{
    if (!OpenOneWindow(kIdView, kImageViewTitle))
        return;
    QPushButton* view = button(kIdView);
    // A fresh picture is composed beside the window, which keeps repainting meanwhile.
    std::string error;
    const std::string path = m_hub->ViewPicture(&error);
    if (m_bExitRequested) {
        view->setEnabled(true);
        return;
    }
    if (path.empty()) {
        m_pPrompter->message(error);
        view->setEnabled(true);
        return;
    }
    auto* viewer = new CImageView(QString::fromStdString(path), *m_pPrompter, this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    connect(viewer, &QDialog::finished, this, [view] { view->setEnabled(true); });
    // The last cycle's picture is put in place by a rename: it is whole whenever it is read, and
    // a cycle composing meanwhile need not be waited for.
    const bool loaded = viewer->LoadPicture();
    if (!loaded)
        m_pPrompter->message(viewer->LoadError().toStdString());
    viewer->FitToPicture();
    viewer->open();
}

void CMainDialog::reject()
{
    OnCancel();
}

bool CMainDialog::OnCancel()
{
    if (m_bShuttingDown)
        return true;
    if (!m_bRunning) {
        // Still starting (the first-start sheet may be open): end once the start-up is done.
        m_bExitRequested = true;
        CloseModalWindows();
        CloseTopLevelWindow(QLatin1String(kSettingsTitle));
        return false;
    }
    if (MustCloseWindowsFirst()) {
        // The sheet (or another window, or work beside the window) is closed first, so its
        // Cancel puts back what it changed while the driver is still connected; the shutdown
        // follows once it has returned.
        m_bExitRequested = true;
        CloseModalWindows();
        m_exitRetry.start();
        return false;
    }
    m_exitRetry.stop();
    if (m_hub->CycleRunning() && !m_bNoQuestionAtExit && !m_pPrompter->askYesNo(kQuitQuestion))
        return false;
    m_bShuttingDown = true;
    SetDriverField(QStringLiteral("Disconnecting..."));
    m_pDriverField->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_pPreview->Attach(nullptr);
    // The counter, the driver, the worker (at most 5 s) and the auto-capture state.
    m_bWorkerAbandoned = !m_hub->Shutdown();
    for (const char* title : {kAboutTitle, kSettingsTitle, kImageViewTitle})
        CloseTopLevelWindow(QLatin1String(title));
    QApplication::restoreOverrideCursor();
    m_tray.HideIcon();
    m_bRunning = false;
    done(QDialog::Rejected);
    return true;
}

bool CMainDialog::MustCloseWindowsFirst() const
{
    // A window that runs a loop of its own (the sheet, a message box) or work beside the window
    // must return before the shutdown; a window opened beside the main one (About, the viewer)
    // is simply closed by it.
    const QWidget* modal = QApplication::activeModalWidget();
    return m_bSheetOpen || BesideWorkRunning() > 0 ||
           (modal && modal->windowModality() == Qt::ApplicationModal);
}

void CMainDialog::ShutDownWithoutAsking()
{
    m_bNoQuestionAtExit = true;
    OnCancel();
}

} // namespace vistrel
