#include "updater/UpdaterDlg.h"

#include "updater/PadFile.h"
#include "updater/UpdateCheck.h"
#include "updater/UpdaterAboutDlg.h"
#include "updater/UpdaterVersion.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdlib>

#include <sys/stat.h>

namespace vistrel {

namespace {

// The PAD texts are bytes; shown as UTF-8.
QString Shown(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

const QString kExit = QStringLiteral("Exit");
const QString kCancel = QStringLiteral("Cancel");

} // namespace

CUpdaterDlg::CUpdaterDlg(std::string commandLine, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_strCommandLine(std::move(commandLine)), m_prompter(prompter),
      m_exitProcess([](int code) { std::_Exit(code); })
{
    setWindowTitle(QStringLiteral("Updater"));

    auto* group = new QGroupBox(QStringLiteral("Update Status"), this);
    m_pStatus = new QPlainTextEdit(group);
    m_pStatus->setObjectName(QStringLiteral("status"));
    m_pStatus->setReadOnly(true);
    m_pStatus->setFrameShape(QFrame::NoFrame);
    m_pStatus->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_pStatus->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Looks like the rest of the window, not like an input field.
    m_pStatus->viewport()->setAutoFillBackground(false);
    m_pStatus->setMinimumSize(270, 130);
    m_pByteCount = new QLabel(group);
    m_pByteCount->setObjectName(QStringLiteral("byteCount"));
    m_pByteCount->setAlignment(Qt::AlignCenter);
    m_pProgress = new QProgressBar(group);
    m_pProgress->setObjectName(QStringLiteral("progress"));
    m_pProgress->setTextVisible(false);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_pStatus, 1);
    groupLayout->addWidget(m_pByteCount);
    groupLayout->addWidget(m_pProgress);

    m_pUpdate = new QPushButton(QStringLiteral("Update"), this);
    m_pUpdate->setObjectName(QStringLiteral("update"));
    m_pExit = new QPushButton(kExit, this);
    m_pExit->setObjectName(QStringLiteral("exit"));
    m_pUpdate->setAutoDefault(false);
    m_pExit->setAutoDefault(false);
    connect(m_pUpdate, &QPushButton::clicked, this, &CUpdaterDlg::OnUpdate);
    connect(m_pExit, &QPushButton::clicked, this, &CUpdaterDlg::OnExitOrCancel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pUpdate);
    buttons->addWidget(m_pExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);

    // Linux windows have no system menu to extend, so the About command lives in the window's
    // context menu.
    m_pAboutAction = new QAction(QStringLiteral("&About Updater..."), this);
    m_pAboutAction->setObjectName(QStringLiteral("about"));
    connect(m_pAboutAction, &QAction::triggered, this, &CUpdaterDlg::OnAbout);
    addAction(m_pAboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setWindowIcon(style()->standardIcon(QStyle::SP_BrowserReload));
}

CUpdaterDlg::~CUpdaterDlg()
{
    // A transfer still running when the window goes is abandoned; its partial file goes with it.
    if (m_worker.joinable()) {
        m_http.AbandonDownload();
        m_worker.join();
    }
    if (m_bWaitCursor)
        QApplication::restoreOverrideCursor();
}

void CUpdaterDlg::SetProcessExit(std::function<void(int)> exitProcess)
{
    m_exitProcess = std::move(exitProcess);
}

// The button's own text is not compared later: some desktops add accelerator marks to it.
void CUpdaterDlg::SetExitButtonCancels(bool cancels)
{
    m_bExitCancels = cancels;
    m_pExit->setText(cancels ? kCancel : kExit);
}

void CUpdaterDlg::SetStatus(const std::string& text)
{
    m_strStatus = text;
    m_pStatus->setPlainText(Shown(text));
}

std::string CUpdaterDlg::LibraryMessage() const
{
    std::string text;
    m_http.GetErrorText(m_http.GetLastErrorCode(), text);
    return text;
}

std::string CUpdaterDlg::WorkingFile(const std::string& name) const
{
    return m_strWorkingDirectory + "/" + name;
}

bool CUpdaterDlg::OnInitDialog()
{
    const UpdaterCommandLine commandLine = ParseUpdaterCommandLine(m_strCommandLine);
    m_bSilent = commandLine.bSilent;
    m_strPadPath = commandLine.strPadPath;
    if (m_strPadPath.empty()) {
        m_prompter.message(kUsageText, PromptIcon::Exclamation);
        done(1);
        return false;
    }

    m_strWorkingDirectory = QDir::currentPath().toStdString();
    m_pUpdate->setEnabled(false);
    m_pExit->setEnabled(false);
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);

    std::string xml;
    LocalPadInfo local;
    if (ReadPadFile(m_strPadPath, xml) && ReadLocalPad(xml, local)) {
        m_strProgramName = local.strProgramName;
        m_strInstalledVersion = local.strVersion;
        m_strPadAddress = local.strPadAddress;
        setWindowTitle(Shown(m_strProgramName) + QStringLiteral(" Updater"));
        // The check starts once the event loop runs, that is once the window is on screen.
        QMetaObject::invokeMethod(this, &CUpdaterDlg::OnUpdateCheck, Qt::QueuedConnection);
    } else {
        SetStatus(kCannotLoadText);
        m_pExit->setEnabled(true);
    }
    return true;
}

void CUpdaterDlg::StartTransfer(const std::string& host, std::uint16_t port, bool secure,
                                const std::string& localPath, const std::string& resource,
                                std::int64_t nMaxBytes, std::function<void(TransferResult)> done)
{
    if (m_worker.joinable())
        m_worker.join();
    m_http.SetSecure(secure);
    m_worker = std::thread([this, host, port, localPath, resource, nMaxBytes, done] {
        TransferResult result = TransferResult::Done;
        if (!m_http.Connect(host, port, 30, 1, 65536)) {
            result = TransferResult::ConnectFailed;
        } else {
            m_http.SetCallback(128, &CUpdaterDlg::ProgressCallback, this);
            if (m_http.Download(localPath, resource, nMaxBytes) == -1)
                result = TransferResult::DownloadFailed;
        }
        QMetaObject::invokeMethod(
            this, [done, result] { done(result); }, Qt::QueuedConnection);
    });
}

// Called on the worker thread; the window's thread reads the progress. One update at a time is
// queued so that a fast transfer cannot flood the event queue.
void CUpdaterDlg::ProgressCallback(int, void* pUserValue)
{
    auto* self = static_cast<CUpdaterDlg*>(pUserValue);
    if (!self->m_bProgressPending.exchange(true))
        QMetaObject::invokeMethod(self, &CUpdaterDlg::OnProgress, Qt::QueuedConnection);
}

void CUpdaterDlg::OnProgress()
{
    m_bProgressPending = false;
    std::int64_t total = 0;
    const std::int64_t copied = m_http.GetProgress(&total);
    if (m_bShowByteCounts)
        m_pByteCount->setText(QString::fromStdString(BytesCopiedText(copied, total)));
    if (total != 0)
        m_pProgress->setValue(static_cast<int>(static_cast<double>(copied) / total * 100));
}

void CUpdaterDlg::OnUpdateCheck()
{
    SetStatus(kCheckingText);
    std::string host;
    std::string path;
    std::uint16_t port = 80;
    SplitUrl(m_strPadAddress, host, port, path, &m_bPadSecure);
    if (!m_http.IsInitialized()) {
        SetStatus(kNotInitializedText);
        m_pExit->setEnabled(true);
        return;
    }
    m_pProgress->setValue(0);
    StartTransfer(host, port, m_bPadSecure, WorkingFile("update.xml"), path, kMaxPadFileSize,
                  [this](TransferResult result) {
                      if (result != TransferResult::Done) {
                          SetStatus(m_http.GetLastErrorCode() == CHttpClient::kTooLarge
                                        ? kPadTooLargeText
                                        : LibraryMessage());
                          m_pExit->setEnabled(true);
                          return;
                      }
                      QTimer::singleShot(700, this, &CUpdaterDlg::OnRemotePadFetched);
                  });
}

void CUpdaterDlg::OnRemotePadFetched()
{
    std::string xml;
    RemotePadInfo remote;
    if (!ReadPadFile(WorkingFile("update.xml"), xml) ||
        !ReadRemotePad(xml, m_strProgramName, remote)) {
        SetStatus(kNoUpdatesFoundText);
        m_pExit->setEnabled(true);
        m_pProgress->hide();
        return;
    }
    m_strNewVersion = remote.strVersion;
    m_strWhatsNew = remote.strWhatsNew;
    m_strDownloadAddress = remote.strDownloadAddress;

    if (IsNewerVersion(m_strInstalledVersion, m_strNewVersion)) {
        std::string offer =
            NewVersionText(m_strProgramName, m_strInstalledVersion, m_strNewVersion, m_strWhatsNew);
        std::string downloadHost, downloadPath;
        std::uint16_t downloadPort = 80;
        bool downloadSecure = false;
        SplitUrl(m_strDownloadAddress, downloadHost, downloadPort, downloadPath, &downloadSecure);
        if (!m_bPadSecure || !downloadSecure)
            offer += std::string("\r\n\r\n") + kPlainHttpText;
        SetStatus(offer);
        m_pUpdate->setEnabled(true);
        m_pExit->setEnabled(true);
        m_pProgress->hide();
        return;
    }
    SetStatus(kUpToDateText);
    if (m_bSilent) {
        done(0);
        return;
    }
    m_pExit->setEnabled(true);
    m_pProgress->hide();
}

void CUpdaterDlg::OnUpdate()
{
    m_pUpdate->setEnabled(false);
    SetExitButtonCancels(true);
    SetStatus(kDownloadingText);
    m_pProgress->show();
    m_bShowByteCounts = true;

    std::string host;
    std::string path;
    std::uint16_t port = 80;
    bool secure = false;
    SplitUrl(m_strDownloadAddress, host, port, path, &secure);
    if (!m_http.IsInitialized()) {
        SetStatus(kNotInitializedText);
        return;
    }
    m_pProgress->setValue(0);
    const std::string setup = WorkingFile(SetupFileName(m_strProgramName));
    // The setup program streams to disk: no size limit.
    StartTransfer(host, port, secure, setup, path, 0, [this, setup, secure](TransferResult result) {
        if (result != TransferResult::Done) {
            SetStatus(LibraryMessage());
            SetExitButtonCancels(false);
            return;
        }
        QTimer::singleShot(700, this, [this, setup, secure] {
            SetStatus(secure ? std::string(kLaunchingText)
                             : std::string(kLaunchingText) + "\r\n\r\n" + kPlainHttpText);
            LaunchSetup(setup);
            done(1);
        });
    });
}

// Starts the setup program detached, without waiting and without checking that it started. A
// downloaded file is not executable until it is made so.
void CUpdaterDlg::LaunchSetup(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        ::chmod(path.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
    QProcess::startDetached(QString::fromStdString(path), {},
                            QString::fromStdString(m_strWorkingDirectory));
}

void CUpdaterDlg::OnExitOrCancel()
{
    if (!m_bWaitCursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_bWaitCursor = true;
    }
    if (m_bExitCancels) {
        // The whole process ends at once; the partly written setup program is removed first so
        // that nothing incomplete is left under a name that could be started.
        SetStatus(kCancelingText);
        m_http.AbandonDownload();
        m_exitProcess(0);
        return;
    }
    done(0);
}

void CUpdaterDlg::OnAbout()
{
    CUpdaterAboutDlg about(MakeAboutTexts(&UpdaterVersion()), this);
    about.exec();
}

} // namespace vistrel
