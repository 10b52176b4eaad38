#pragma once

#include "config/LiveSettings.h"
#include "ui/sheet/FtpTestDialog.h"
#include "ui/sheet/SettingsPage.h"
#include "ui/sheet/SheetDialogs.h"

#include <QPointer>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vistrel {

class CUpDownEdit;

// The Location page: the FTP upload target and its options, the FTP proxy (whose values only the
// proxy dialog shows), and the local copy of each picture.
class CMyPropertyPage2 : public CSettingsPage {
    Q_OBJECT
  public:
    static constexpr int kPasswordMax = 1024;
    static constexpr const char* kJpgExtensionText = "Filename must have a .JPG extension";

    CMyPropertyPage2(Hub& hub, Prompter& prompter, const SheetDialogs& dialogs,
                     QWidget* parent = nullptr);
    ~CMyPropertyPage2() override;

    QString title() const override { return QStringLiteral("Location"); }
    int helpContext() const override;
    ReloadGroup reloadGroup() const override { return ReloadGroup::Location; }
    std::optional<PageRefusal> validate() override;
    // Stores the page's keys, and the pinned certificate when the Test window pinned another.
    bool apply() override;

    // The settings a cycle would upload with if the page were applied now: the settings file's,
    // with the page's values over them. The Test button and the directory browser use these.
    LiveSettings FtpSettings() const;
    // The test window of the last "Test", while it is open.
    CFtpTestDialog* testDialog() const { return m_pTestDialog; }
    const ProxySettings& proxy() const { return m_proxy; }

  protected:
    void opened() override;

  private:
    void UpdateEnabling();
    void OnConfigureProxy();
    void OnBrowseDirectory();
    void OnChooseLocalFile();
    void OnTest();
    // The fields of the chosen upload target are shown; SFTP's port follows while it is FTP's.
    void OnTargetChanged(int index);
    // A "host:port" typed in the server field goes to the two fields it names.
    void OnServerEdited();
    // The implicit-TLS port follows the security choice while the port is the other's default.
    void OnSecurityChanged(int index);
    int Port() const;

    const SheetDialogs& m_dialogs;
    ProxySettings m_proxy;
    QCheckBox* m_pFtpUpload;
    QLabel* m_pLabels[5];
    QLineEdit* m_pServer;
    CUpDownEdit* m_pPort;
    std::string
        m_strFingerprint; // the pinned certificate (UploadOptions/FTPCertificateFingerprint)
    int m_nSecurityShown = 0;
    QLineEdit* m_pUserName;
    QLineEdit* m_pPassword;
    QLineEdit* m_pDirectory;
    QPushButton* m_pBrowse;
    QLineEdit* m_pFileName;
    QLabel* m_pSecurityLabel;
    QLabel* m_pPortLabel;
    QComboBox* m_pSecurity;
    QCheckBox* m_pVerifyCertificate;
    QCheckBox* m_pOnlyWhileOnline;
    QCheckBox* m_pPassive;
    QCheckBox* m_pUseProxy;
    QPushButton* m_pConfigureProxy;
    QPushButton* m_pTest;
    QCheckBox* m_pSaveAsFile;
    QLineEdit* m_pSaveAsFileName;
    QPushButton* m_pChooseLocalFile;
    QPointer<CFtpTestDialog> m_pTestDialog;
    // The upload target (UploadOptions/UploadTarget) and the fields of the targets beyond FTP.
    QComboBox* m_pTarget;
    QLabel* m_pTargetNote;
    QLineEdit* m_pSftpHostKey;
    QLineEdit* m_pSftpKeyFile;
    QLineEdit* m_pSftpKeyPassphrase;
    QLineEdit* m_pWebDavUrl;
    QLineEdit* m_pS3Endpoint;
    QLineEdit* m_pS3Region;
    QLineEdit* m_pS3Bucket;
    QLineEdit* m_pS3AccessKey;
    QLineEdit* m_pS3Secret;
    QLineEdit* m_pS3CacheControl;
    // Each field with its label and the target it belongs to (1 SFTP, 2 WebDAV, 3 S3).
    struct TargetField {
        QLabel* label;
        QLineEdit* edit;
        int target;
    };
    std::vector<TargetField> m_targetFields;
    int m_nTargetShown = 0;
    std::string m_strTargetRead; // UploadTarget as the file has it
};

} // namespace vistrel
