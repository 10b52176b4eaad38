#pragma once

#include "ui/sheet/SettingsPage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vistrel {

// The General page: starting at log-in, the window at start-up and in the tray, the logs, error
// messages, the shutter sound and what the View button shows.
class CMyPropertyPage5 : public CSettingsPage {
    Q_OBJECT
  public:
    static constexpr const char* kLoggingFtpText =
        "FTP Logging should be enabled for troubleshooting only!\nYour password will be written "
        "to the log file unencrypted!";
    static constexpr const char* kLoggingErrorsText =
        "Error Logging should be enabled for troubleshooting only!\nIf left enabled over a long "
        "period of time it could consume large amounts of drive space.";
    static constexpr const char* kAutostartErrorText = "Unable to write the autostart entry";

    CMyPropertyPage5(Hub& hub, Prompter& prompter, QWidget* parent = nullptr);

    QString title() const override { return QStringLiteral("General"); }
    int helpContext() const override;
    ReloadGroup reloadGroup() const override { return ReloadGroup::General; }
    bool apply() override;

  protected:
    void loadSettings() override;
    void opened() override;

  private:
    void OnUseSound();
    void OnChooseSoundFile();

    std::string m_strSettingsName; // what the command line named the settings file by
    std::string m_strAutostartCommand;
    QCheckBox* m_pRunAtStart;
    QCheckBox* m_pRunMinimized;
    QCheckBox* m_pUploadOnStart;
    QCheckBox* m_pHideWhenMinimized;
    QCheckBox* m_pFtpLog;
    QCheckBox* m_pSaveAutoCapture;
    QCheckBox* m_pSuppressErrors;
    QCheckBox* m_pErrorLog;
    QCheckBox* m_pDeleteBeforeMove;
    QCheckBox* m_pUseSound;
    QLineEdit* m_pSoundFile;
    QPushButton* m_pChooseSound;
    QComboBox* m_pView;
};

} // namespace vistrel
