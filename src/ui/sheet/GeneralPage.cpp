#include "ui/sheet/GeneralPage.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "platform/Autostart.h"
#include "platform/Prompter.h"
#include "ui/HelpWindow.h"
#include "ui/sheet/FileDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vistrel {

CMyPropertyPage5::CMyPropertyPage5(Hub& hub, Prompter& prompter, QWidget* parent)
    : CSettingsPage(hub, prompter, parent), m_strSettingsName(SettingsNameOf(SettingsFilePath())),
      m_strAutostartCommand(AutostartCommand(RunningProgramPath(), m_strSettingsName))
{
    m_pRunAtStart = MakeCheck("runAtStart", "&Run when I log in");
    m_pRunMinimized = MakeCheck("runMinimized", "M&inimize on start");
    m_pUploadOnStart = MakeCheck("uploadOnStart", "&Upload on start");
    m_pHideWhenMinimized = MakeCheck("hideWhenMinimized", "&Hide when minimized");
    m_pFtpLog = MakeCheck("ftpLog", "Enable &FTP logging");
    m_pSaveAutoCapture = MakeCheck("saveAutoCaptureStatus", "Save Auto-&Capture status on exit");
    m_pSuppressErrors = MakeCheck("suppressErrors", "&Suppress error message windows");
    m_pErrorLog = MakeCheck("errorLog", "Enable &error logging");
    m_pDeleteBeforeMove = MakeCheck("deleteBeforeMove", "&Delete before moving images");
    m_pUseSound = MakeCheck("useSound", "&Play sound when image is captured");
    m_pSoundFile = MakeEdit("soundFile");
    m_pChooseSound = MakeButton("chooseSoundFile", "...");
    m_pView = new QComboBox(this);
    m_pView->setObjectName(QStringLiteral("viewButton"));
    m_pView->addItem(QStringLiteral("Captures and displays current image"));
    m_pView->addItem(QStringLiteral("Displays last image uploaded "));

    auto* checks = new QGridLayout;
    checks->addWidget(m_pRunAtStart, 0, 0);
    checks->addWidget(m_pFtpLog, 0, 1);
    checks->addWidget(m_pRunMinimized, 1, 0);
    checks->addWidget(m_pSaveAutoCapture, 1, 1);
    checks->addWidget(m_pUploadOnStart, 2, 0);
    checks->addWidget(m_pSuppressErrors, 2, 1);
    checks->addWidget(m_pHideWhenMinimized, 3, 0);
    checks->addWidget(m_pErrorLog, 3, 1);
    checks->addWidget(m_pDeleteBeforeMove, 4, 0);
    auto* sound = new QHBoxLayout;
    sound->addSpacing(20);
    sound->addWidget(m_pSoundFile, 1);
    sound->addWidget(m_pChooseSound);
    auto* view = new QGroupBox(QStringLiteral("&View Button"), this);
    auto* viewLayout = new QVBoxLayout(view);
    viewLayout->addWidget(m_pView);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(checks);
    layout->addWidget(m_pUseSound);
    layout->addLayout(sound);
    layout->addWidget(view);
    layout->addStretch(1);

    m_keys.add(keys::Options::RunMinimized, m_pRunMinimized);
    m_keys.add(keys::Options::UploadOnStart, m_pUploadOnStart);
    m_keys.add(keys::Options::HideWhenMinimized, m_pHideWhenMinimized);
    m_keys.add(keys::UploadOptions::FTPLog, m_pFtpLog);
    m_keys.add(keys::Options::SaveAutoCaptureStatus, m_pSaveAutoCapture);
    m_keys.add(keys::UploadOptions::SuppressErrors, m_pSuppressErrors);
    m_keys.add(keys::Options::ErrorLog, m_pErrorLog);
    m_keys.add(keys::Options::DeleteBeforeMove, m_pDeleteBeforeMove);
    m_keys.add(keys::Options::UseSound, m_pUseSound);
    m_keys.add(keys::Options::SoundFile, m_pSoundFile);
    m_keys.add(keys::Options::ViewDisplaysLastUploadImage, m_pView);

    watch({m_pRunAtStart, m_pRunMinimized, m_pUploadOnStart, m_pHideWhenMinimized, m_pFtpLog,
           m_pSaveAutoCapture, m_pSuppressErrors, m_pErrorLog, m_pDeleteBeforeMove, m_pUseSound,
           m_pSoundFile, m_pView});
    connect(m_pUseSound, &QCheckBox::toggled, this, &CMyPropertyPage5::OnUseSound);
    connect(m_pChooseSound, &QPushButton::clicked, this, &CMyPropertyPage5::OnChooseSoundFile);
    // The warnings come when the user ticks a log, never when the page shows a stored state.
    connect(m_pFtpLog, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked)
            m_prompter.message(kLoggingFtpText);
    });
    connect(m_pErrorLog, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked)
            m_prompter.message(kLoggingErrorsText);
    });
    AddHelpShortcut(this, helpContext());
}

int CMyPropertyPage5::helpContext() const
{
    return kHelpGeneralPage;
}

void CMyPropertyPage5::loadSettings()
{
    m_pRunAtStart->setChecked(IsAutostartEnabled(m_strAutostartCommand, m_strSettingsName));
    CSettingsPage::loadSettings();
}

void CMyPropertyPage5::opened()
{
    OnUseSound();
}

void CMyPropertyPage5::OnUseSound()
{
    const bool on = m_pUseSound->isChecked();
    m_pSoundFile->setEnabled(on);
    m_pChooseSound->setEnabled(on);
}

void CMyPropertyPage5::OnChooseSoundFile()
{
    FileChooserRequest request;
    request.mode = FileChooserRequest::Mode::Open;
    request.title = QStringLiteral("Select Sound File");
    request.filters = {QStringLiteral("Sound Files (*.WAV *.wav)"),
                       QStringLiteral("All files (*)")};
    request.defaultSuffix = QStringLiteral("WAV");
    request.selectFile = m_pSoundFile->text();
    const QString path = ChooseFile(this, request);
    if (!path.isEmpty())
        m_pSoundFile->setText(path);
}

bool CMyPropertyPage5::apply()
{
    const bool autostart = m_pRunAtStart->isChecked()
                               ? EnableAutostart(m_strAutostartCommand, nullptr, m_strSettingsName)
                               : DisableAutostart(nullptr, m_strSettingsName);
    if (!autostart)
        m_prompter.message(kAutostartErrorText);
    return CSettingsPage::apply();
}

} // namespace vistrel
