#include "ui/sheet/LocationPage.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "ftp/FtpSecurity.h"
#include "platform/Prompter.h"
#include "ui/HelpWindow.h"
#include "ui/sheet/FileDialogs.h"
#include "ui/sheet/FtpTestDialog.h"
#include "ui/sheet/PageRules.h"
#include "ui/sheet/UpDownEdit.h"
#include "upload/FtpConnectionSettings.h"
#include "upload/UploadTarget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace vistrel {

namespace {

constexpr int kPlainFtpPort = 21;
constexpr int kImplicitTlsPort = 990;
constexpr int kImplicitTls = 2; // the security list's "TLS, implicit"

// A proxy log-on sends the password through a relay that TLS cannot reach.
constexpr const char* kProxyTlsText =
    "TLS cannot be used with an FTP proxy log-on.\nTurn off \"Use FTP Proxy\" or set Security to "
    "None.";

constexpr int kSftpPort = 22;
// The target list's entries, in the order of their words.
constexpr const char* kTargetWords[] = {"ftp", "sftp", "webdav", "s3"};
constexpr int kSftp = 1;
constexpr int kWebDav = 2;
constexpr int kS3 = 3;

} // namespace

CMyPropertyPage2::CMyPropertyPage2(Hub& hub, Prompter& prompter, const SheetDialogs& dialogs,
                                   QWidget* parent)
    : CSettingsPage(hub, prompter, parent), m_dialogs(dialogs)
{
    m_pFtpUpload = MakeCheck("ftpUpload", "Enable FTP upload");
    m_pServer = MakeEdit("ftpServer");
    m_pPort = new CUpDownEdit(this);
    m_pPort->setObjectName(QStringLiteral("ftpPort"));
    m_pPort->setUpDownRange(1, 65535);
    m_pPort->setMaximumWidth(m_pPort->fontMetrics().horizontalAdvance(QStringLiteral("65535")) +
                             40);
    m_pUserName = MakeEdit("ftpUserName");
    m_pPassword = MakeEdit("ftpPassword");
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pPassword->setMaxLength(kPasswordMax);
    m_pDirectory = MakeEdit("ftpDirectory");
    m_pBrowse = MakeButton("browseDirectory", "...");
    m_pFileName = MakeEdit("ftpFileName");
    m_pSecurity = new QComboBox(this);
    m_pSecurity->setObjectName(QStringLiteral("ftpSecurity"));
    m_pSecurity->addItems(
        {QStringLiteral("None"), QStringLiteral("TLS, explicit"), QStringLiteral("TLS, implicit")});
    m_pSecurityLabel = new QLabel(QStringLiteral("Secur&ity"), this);
    m_pSecurityLabel->setBuddy(m_pSecurity);
    m_pVerifyCertificate = MakeCheck("verifyCertificate", "Verify certificate");
    m_pOnlyWhileOnline = MakeCheck("onlyWhileOnline", "Only while online");
    m_pPassive = MakeCheck("passiveMode", "Use passive transfers");
    m_pUseProxy = MakeCheck("useProxy", "Use FTP Pro&xy");
    m_pConfigureProxy = MakeButton("configureProxy", "Co&nfigure Proxy");
    m_pTest = MakeButton("testFtp", "&Test");
    m_pTest->setToolTip(QStringLiteral("Do what a cycle does with these settings: log on, store, "
                                       "rename and delete a probe file, and show the "
                                       "conversation"));
    m_pSaveAsFile = MakeCheck("saveAsFile", "Enable save as file");
    m_pSaveAsFileName = MakeEdit("saveAsFileName");
    m_pChooseLocalFile = MakeButton("chooseLocalFile", "...");

    const QLatin1String labels[5] = {QLatin1String("FTP &Server"), QLatin1String("&Username"),
                                     QLatin1String("Pass&word"), QLatin1String("&Directory"),
                                     QLatin1String("&Filename")};
    QLineEdit* edits[5] = {m_pServer, m_pUserName, m_pPassword, m_pDirectory, m_pFileName};
    auto* grid = new QGridLayout;
    grid->setContentsMargins(20, 0, 0, 0);
    for (int i = 0; i < 5; ++i) {
        m_pLabels[i] = new QLabel(QString(labels[i]), this);
        m_pLabels[i]->setBuddy(edits[i]);
        grid->addWidget(m_pLabels[i], i, 0);
        grid->addWidget(edits[i], i, 1);
    }
    grid->addWidget(m_pBrowse, 3, 2);
    // The port beside the server it belongs to.
    grid->removeWidget(m_pServer);
    auto* server = new QHBoxLayout;
    server->addWidget(m_pServer, 1);
    m_pPortLabel = new QLabel(QStringLiteral("P&ort"), this);
    m_pPortLabel->setBuddy(m_pPort);
    server->addWidget(m_pPortLabel);
    server->addWidget(m_pPort);
    grid->addLayout(server, 0, 1);
    auto* security = new QHBoxLayout;
    security->addWidget(m_pSecurity);
    security->addWidget(m_pVerifyCertificate);
    security->addStretch(1);
    grid->addWidget(m_pSecurityLabel, 5, 0);
    grid->addLayout(security, 5, 1);
    auto* options = new QGridLayout;
    options->setContentsMargins(20, 0, 0, 0);
    options->addWidget(m_pOnlyWhileOnline, 0, 0);
    options->addWidget(m_pPassive, 0, 1);
    options->addWidget(m_pUseProxy, 1, 0);
    auto* proxyButtons = new QHBoxLayout;
    proxyButtons->addWidget(m_pConfigureProxy);
    proxyButtons->addWidget(m_pTest);
    proxyButtons->addStretch(1);
    options->addLayout(proxyButtons, 1, 1);
    auto* local = new QHBoxLayout;
    local->setContentsMargins(20, 0, 0, 0);
    local->addWidget(m_pSaveAsFileName, 1);
    local->addWidget(m_pChooseLocalFile);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pFtpUpload);
    layout->addLayout(grid);
    layout->addLayout(options);
    layout->addSpacing(8);
    layout->addWidget(m_pSaveAsFile);
    layout->addLayout(local);
    layout->addStretch(1);

    namespace k = keys::UploadOptions;
    m_keys.add(k::FTPUpload, m_pFtpUpload);
    m_keys.add(k::FTPServer, m_pServer);
    m_keys.add(k::FTPPort, m_pPort);
    m_keys.add(k::FTPUsername, m_pUserName);
    m_keys.add(k::FTPPassword, m_pPassword);
    m_keys.add(k::FTPDirectory, m_pDirectory);
    m_keys.add(k::FTPFilename, m_pFileName);
    m_keys.add(k::FTPSecurity, m_pSecurity);
    m_keys.add(k::FTPVerifyCertificate, m_pVerifyCertificate);
    m_keys.add(k::OnlyWhileOnline, m_pOnlyWhileOnline);
    m_keys.add(k::PassiveMode, m_pPassive);
    m_keys.add(k::UseFireWall, m_pUseProxy);
    m_keys.add(k::SaveAsFile, m_pSaveAsFile);
    m_keys.add(k::SaveAsFilename, m_pSaveAsFileName);
    m_keys.add(k::FireWallType, &m_proxy.type);
    m_keys.add(k::FireWallServer, &m_proxy.server);
    m_keys.add(k::FireWallPort, &m_proxy.port);
    m_keys.add(k::FireWallUsername, &m_proxy.user);
    m_keys.add(k::FireWallPassword, &m_proxy.password);

    watch({m_pFtpUpload, m_pServer, m_pPort, m_pUserName, m_pPassword, m_pDirectory, m_pFileName,
           m_pSecurity, m_pVerifyCertificate, m_pOnlyWhileOnline, m_pPassive, m_pUseProxy,
           m_pSaveAsFile, m_pSaveAsFileName});
    connect(m_pSecurity, &QComboBox::currentIndexChanged, this, &CMyPropertyPage2::UpdateEnabling);
    connect(m_pFtpUpload, &QCheckBox::toggled, this, &CMyPropertyPage2::UpdateEnabling);
    connect(m_pUseProxy, &QCheckBox::toggled, this, &CMyPropertyPage2::UpdateEnabling);
    connect(m_pSaveAsFile, &QCheckBox::toggled, this, &CMyPropertyPage2::UpdateEnabling);
    connect(m_pConfigureProxy, &QPushButton::clicked, this, &CMyPropertyPage2::OnConfigureProxy);
    connect(m_pBrowse, &QPushButton::clicked, this, &CMyPropertyPage2::OnBrowseDirectory);
    connect(m_pChooseLocalFile, &QPushButton::clicked, this, &CMyPropertyPage2::OnChooseLocalFile);
    connect(m_pTest, &QPushButton::clicked, this, &CMyPropertyPage2::OnTest);
    connect(m_pServer, &QLineEdit::editingFinished, this, &CMyPropertyPage2::OnServerEdited);
    connect(m_pSecurity, &QComboBox::activated, this, &CMyPropertyPage2::OnSecurityChanged);

    // The upload target and the fields of the targets beyond FTP (the others share the FTP
    // fields above: server, port, user name, password, directory, file name).
    m_pTarget = new QComboBox(this);
    m_pTarget->setObjectName(QStringLiteral("uploadTarget"));
    m_pTarget->addItems({QStringLiteral("FTP or FTPS"), QStringLiteral("SFTP"),
                         QStringLiteral("WebDAV"), QStringLiteral("S3-compatible storage")});
    auto* targetLabel = new QLabel(QStringLiteral("Upload tar&get"), this);
    targetLabel->setBuddy(m_pTarget);
    m_pTargetNote = new QLabel(this);
    m_pTargetNote->setObjectName(QStringLiteral("targetNote"));
    const auto field = [this](const char* name, const char* label, int target) {
        QLineEdit* e = MakeEdit(name);
        auto* l = new QLabel(QString::fromLatin1(label), this);
        l->setBuddy(e);
        m_targetFields.push_back({l, e, target});
        return e;
    };
    m_pSftpHostKey = field("sftpHostKey", "&Host key", kSftp);
    m_pSftpHostKey->setPlaceholderText(QStringLiteral("SHA256:… (empty: the known-hosts file)"));
    m_pSftpKeyFile = field("sftpKeyFile", "Key fi&le", kSftp);
    m_pSftpKeyFile->setPlaceholderText(QStringLiteral("empty: log on with the password"));
    m_pSftpKeyPassphrase = field("sftpKeyPassphrase", "Key pass&phrase", kSftp);
    m_pSftpKeyPassphrase->setEchoMode(QLineEdit::Password);
    m_pSftpKeyPassphrase->setMaxLength(kPasswordMax);
    m_pWebDavUrl = field("webdavUrl", "WebDA&V address", kWebDav);
    m_pWebDavUrl->setPlaceholderText(QStringLiteral("https://cloud.example.org/dav/cam/"));
    m_pS3Endpoint = field("s3Endpoint", "&Endpoint", kS3);
    m_pS3Endpoint->setPlaceholderText(QStringLiteral("https://s3.eu-west-1.amazonaws.com"));
    m_pS3Region = field("s3Region", "&Region", kS3);
    m_pS3Bucket = field("s3Bucket", "&Bucket", kS3);
    m_pS3AccessKey = field("s3AccessKey", "Access &key", kS3);
    m_pS3Secret = field("s3Secret", "Secret ke&y", kS3);
    m_pS3Secret->setEchoMode(QLineEdit::Password);
    m_pS3Secret->setMaxLength(kPasswordMax);
    m_pS3CacheControl = field("s3CacheControl", "&Cache-Control", kS3);
    m_pS3CacheControl->setPlaceholderText(QStringLiteral("no-cache"));
    auto* targetGrid = new QGridLayout;
    targetGrid->setContentsMargins(20, 0, 0, 0);
    targetGrid->addWidget(targetLabel, 0, 0);
    targetGrid->addWidget(m_pTarget, 0, 1);
    for (std::size_t i = 0; i < m_targetFields.size(); ++i) {
        targetGrid->addWidget(m_targetFields[i].label, static_cast<int>(i) + 1, 0);
        targetGrid->addWidget(m_targetFields[i].edit, static_cast<int>(i) + 1, 1);
    }
    targetGrid->addWidget(m_pTargetNote, static_cast<int>(m_targetFields.size()) + 1, 0, 1, 2);
    layout->insertLayout(1, targetGrid);

    m_keys.add(
        k::UploadTarget,
        [this]() -> std::string {
            // Nothing chosen keeps the word the file has (the page refuses it while uploads are
            // on).
            const int i = m_pTarget->currentIndex();
            return i < 0 ? m_strTargetRead : std::string(kTargetWords[i]);
        },
        [this](const std::string& word) {
            m_strTargetRead = word;
            TargetKind kind = TargetKind::Ftp;
            // A word the program does not know selects nothing: the page then asks for a
            // target instead of putting FTP in its place.
            m_pTarget->setCurrentIndex(
                ParseUploadTarget(word, &kind, nullptr) ? static_cast<int>(kind) : -1);
        });
    m_keys.add(k::SFTPHostKey, m_pSftpHostKey);
    m_keys.add(k::SFTPKeyFile, m_pSftpKeyFile);
    m_keys.add(k::SFTPKeyPassphrase, m_pSftpKeyPassphrase);
    m_keys.add(k::WebDAVURL, m_pWebDavUrl);
    m_keys.add(k::S3Endpoint, m_pS3Endpoint);
    m_keys.add(k::S3Region, m_pS3Region);
    m_keys.add(k::S3Bucket, m_pS3Bucket);
    m_keys.add(k::S3AccessKey, m_pS3AccessKey);
    m_keys.add(k::S3Secret, m_pS3Secret);
    m_keys.add(k::S3CacheControl, m_pS3CacheControl);
    watch({m_pTarget});
    for (const TargetField& f : m_targetFields)
        watch({f.edit});
    connect(m_pTarget, &QComboBox::currentIndexChanged, this, &CMyPropertyPage2::UpdateEnabling);
    connect(m_pTarget, &QComboBox::activated, this, &CMyPropertyPage2::OnTargetChanged);
    AddHelpShortcut(this, helpContext());
    // The page is loaded when first shown; until then it takes the room FTP's fields take, so
    // that the sheet opens no taller than the page needs.
    UpdateEnabling();
}

void CMyPropertyPage2::OnTargetChanged(int index)
{
    const int port = Port();
    if (index == kSftp && port == kPlainFtpPort)
        m_pPort->setNumber(kSftpPort);
    else if (index != kSftp && m_nTargetShown == kSftp && port == kSftpPort)
        m_pPort->setNumber(kPlainFtpPort);
    m_nTargetShown = index;
}

bool CMyPropertyPage2::apply()
{
    bool stored = true;
    if (m_strFingerprint != ReadSettingString(keys::UploadOptions::FTPCertificateFingerprint))
        stored = WriteSetting(keys::UploadOptions::FTPCertificateFingerprint, m_strFingerprint);
    return CSettingsPage::apply() && stored;
}

int CMyPropertyPage2::Port() const
{
    return m_pPort->edit()->text().trimmed().toInt();
}

void CMyPropertyPage2::OnServerEdited()
{
    // "host:port" (not an IPv6 address, which has more than one colon).
    const QString text = m_pServer->text().trimmed();
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon != text.lastIndexOf(QLatin1Char(':')))
        return;
    bool number = false;
    const int port = text.mid(colon + 1).toInt(&number);
    if (!number || port < 1 || port > 65535)
        return;
    m_pServer->setText(text.left(colon));
    m_pPort->setNumber(port);
}

void CMyPropertyPage2::OnSecurityChanged(int index)
{
    const int port = Port();
    if (index == kImplicitTls && port == kPlainFtpPort)
        m_pPort->setNumber(kImplicitTlsPort);
    else if (index != kImplicitTls && m_nSecurityShown == kImplicitTls && port == kImplicitTlsPort)
        m_pPort->setNumber(kPlainFtpPort);
    m_nSecurityShown = index;
}

CMyPropertyPage2::~CMyPropertyPage2()
{
    // The test window goes with the page; its going must not call back into a page half gone.
    if (m_pTestDialog)
        m_pTestDialog->disconnect(this);
}

int CMyPropertyPage2::helpContext() const
{
    return kHelpLocationPage;
}

void CMyPropertyPage2::opened()
{
    // The pinned certificate is no control's value: it is kept as the file has it until the Test
    // window pins another, and written only then.
    m_strFingerprint = ReadSettingString(keys::UploadOptions::FTPCertificateFingerprint);
    m_nSecurityShown = m_pSecurity->currentIndex();
    m_nTargetShown = m_pTarget->currentIndex();
    UpdateEnabling();
    markModified(); // the page counts as changed as soon as it opens
}

void CMyPropertyPage2::UpdateEnabling()
{
    const bool ftp = m_pFtpUpload->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_pLabels[0], m_pLabels[1], m_pLabels[2], m_pLabels[3], m_pLabels[4], m_pServer,
             m_pPort, m_pUserName, m_pPassword, m_pDirectory, m_pFileName, m_pOnlyWhileOnline,
             m_pPassive, m_pUseProxy, m_pSecurityLabel, m_pSecurity})
        w->setEnabled(ftp);
    m_pVerifyCertificate->setEnabled(ftp && m_pSecurity->currentIndex() > 0);
    m_pBrowse->setEnabled(ftp && m_dialogs.browseDirectory);
    m_pConfigureProxy->setEnabled(ftp && m_pUseProxy->isChecked() && m_dialogs.proxy);
    m_pTest->setEnabled(ftp && !(m_pTestDialog && m_pTestDialog->isRunning()));
    // The fields of the chosen target are shown; the FTP-only controls are off for the others.
    const int target = m_pTarget->currentIndex();
    m_pTarget->setEnabled(ftp);
    for (const TargetField& f : m_targetFields) {
        f.label->setVisible(f.target == target);
        f.edit->setVisible(f.target == target);
        f.label->setEnabled(ftp);
        f.edit->setEnabled(ftp);
    }
    // The FTP fields a target does not use are off, and out of sight so that the page stays
    // short enough for a small screen (WebDAV keeps the security row for its certificate check).
    std::vector<QWidget*> unused;
    if (target > 0)
        unused = {m_pPassive, m_pUseProxy, m_pConfigureProxy, m_pBrowse};
    if (target == kSftp || target == kS3)
        unused.insert(unused.end(), {m_pSecurityLabel, m_pSecurity, m_pVerifyCertificate});
    if (target == kS3)
        unused.insert(unused.end(), {m_pLabels[0], m_pServer, m_pPortLabel, m_pPort, m_pLabels[1],
                                     m_pUserName, m_pLabels[2], m_pPassword});
    else if (target == kWebDav)
        unused.insert(unused.end(),
                      {m_pLabels[0], m_pServer, m_pPortLabel, m_pPort, m_pLabels[3], m_pDirectory});
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_pLabels[0], m_pLabels[1], m_pLabels[2], m_pLabels[3], m_pServer, m_pPortLabel,
             m_pPort, m_pUserName, m_pPassword, m_pDirectory, m_pBrowse, m_pPassive, m_pUseProxy,
             m_pConfigureProxy, m_pSecurityLabel, m_pSecurity, m_pVerifyCertificate})
        w->setVisible(std::find(unused.begin(), unused.end(), w) == unused.end());
    for (QWidget* w : unused)
        w->setEnabled(false);
    if (target > 0) {
        m_pSecurity->setEnabled(false);
        m_pVerifyCertificate->setEnabled(ftp && target == kWebDav);
    }
    m_pTargetNote->setVisible(target > 0);
    // Two lines each, broken by hand: a word-wrapped label in the grid would ask for one line's
    // height when the sheet is made small, and its lines would run into each other.
    m_pTargetNote->setText(
        target == kS3 ? QStringLiteral("S3 uses Directory as the key prefix and Filename as the "
                                       "object's name.\nThe directory browser works for FTP only.")
        : target == kWebDav
            ? QStringLiteral("WebDAV logs on with Username and Password; the certificate\nis "
                             "checked as for FTPS. The directory browser works for FTP only.")
            : QStringLiteral("SFTP uses the server, port, user name, password (or the key\nfile) "
                             "and directory below. The directory browser works for FTP only."));
    const bool local = m_pSaveAsFile->isChecked();
    m_pSaveAsFileName->setEnabled(local);
    m_pChooseLocalFile->setEnabled(local);
}

std::optional<PageRefusal> CMyPropertyPage2::validate()
{
    const std::string password = m_pPassword->text().toStdString();
    if (m_pPassword->text().size() > kPasswordMax)
        return PageRefusal{m_pPassword, EnterNoMoreThanText(kPasswordMax)};
    if (!PasswordFitsSettingsFile(password))
        return PageRefusal{m_pPassword, PasswordTooLongText()};
    if (!PasswordFitsSettingsFile(m_proxy.password))
        return PageRefusal{m_pConfigureProxy, PasswordTooLongText()};
    for (QLineEdit* secret : {m_pSftpKeyPassphrase, m_pS3Secret})
        if (!PasswordFitsSettingsFile(secret->text().toStdString()))
            return PageRefusal{secret, PasswordTooLongText()};
    if (m_pFtpUpload->isChecked()) {
        const auto web = [](const QLineEdit* e) {
            const QString t = e->text().trimmed();
            return t.startsWith(QLatin1String("http://")) ||
                   t.startsWith(QLatin1String("https://"));
        };
        const int target = m_pTarget->currentIndex();
        const QString key = m_pSftpHostKey->text().trimmed();
        if (target < 0)
            return PageRefusal{m_pTarget, QStringLiteral("Choose an upload target.")};
        if (target == kSftp && !key.isEmpty() && !key.startsWith(QLatin1String("SHA256:")))
            return PageRefusal{m_pSftpHostKey,
                               QStringLiteral("The host key must be a fingerprint as ssh-keygen "
                                              "-lf prints it: SHA256: and 43 characters.")};
        if (target == kWebDav && !web(m_pWebDavUrl))
            return PageRefusal{m_pWebDavUrl, QStringLiteral("The WebDAV address must start with "
                                                            "http:// or https://.")};
        if (target == kS3 && !web(m_pS3Endpoint))
            return PageRefusal{m_pS3Endpoint, QStringLiteral("The endpoint must start with "
                                                             "http:// or https://.")};
        for (QLineEdit* needed : {m_pS3Region, m_pS3Bucket, m_pS3AccessKey, m_pS3Secret})
            if (target == kS3 && needed->text().trimmed().isEmpty())
                return PageRefusal{needed, QStringLiteral("S3 needs an endpoint, a region, a "
                                                          "bucket, an access key and its secret.")};
    }
    if (m_pFtpUpload->isChecked() && m_pUseProxy->isChecked() && m_pSecurity->currentIndex() > 0)
        return PageRefusal{m_pSecurity, QString::fromLatin1(kProxyTlsText)};
    const auto port = ParseNonNegativeInteger(m_pPort->edit()->text());
    if (!port || *port < 1 || *port > 65535)
        return PageRefusal{m_pPort, EnterIntegerBetweenText(1, 65535)};
    if (!HasJpgExtension(m_pFileName->text()) && !m_pSaveAsFile->isChecked())
        return PageRefusal{m_pFileName, QString::fromLatin1(kJpgExtensionText)};
    return std::nullopt;
}

void CMyPropertyPage2::OnConfigureProxy()
{
    ProxySettings values = m_proxy;
    if (m_dialogs.proxy && m_dialogs.proxy(this, values)) {
        m_proxy = values;
        markModified();
    }
}

void CMyPropertyPage2::OnBrowseDirectory()
{
    if (!m_dialogs.browseDirectory)
        return;
    FtpBrowseSettings request;
    request.connection = ToFtpConnection(FtpSettings());
    request.directory = m_pDirectory->text().toStdString();
    std::string directory = request.directory;
    if (m_dialogs.browseDirectory(this, request, directory))
        m_pDirectory->setText(FromStd(directory));
}

void CMyPropertyPage2::OnChooseLocalFile()
{
    FileChooserRequest request;
    request.mode = FileChooserRequest::Mode::Save;
    request.title = QStringLiteral("Save as file");
    request.filters = {QStringLiteral("JPG File (*.JPG *.jpg)")};
    request.defaultSuffix = QStringLiteral("JPG");
    request.selectFile = QStringLiteral("untitled.JPG");
    const QString path = ChooseFile(this, request);
    if (!path.isEmpty())
        m_pSaveAsFileName->setText(path);
}

LiveSettings CMyPropertyPage2::FtpSettings() const
{
    // What a cycle would use: the settings file as it is, with this page's values over it.
    LiveSettings s;
    s.LoadEverything(false);
    s.m_bFTPUpload = m_pFtpUpload->isChecked();
    s.m_strFTPServer = m_pServer->text().toStdString();
    s.m_nFTPPort = Port();
    s.m_strFTPUsername = m_pUserName->text().toStdString();
    s.m_strFTPPassword = m_pPassword->text().toStdString();
    s.m_strFTPDirectory = m_pDirectory->text().toStdString();
    s.m_strFTPFilename = m_pFileName->text().toStdString();
    s.m_bPassiveMode = m_pPassive->isChecked();
    s.m_nFTPSecurity = m_pSecurity->currentIndex();
    s.m_bFTPVerifyCertificate = m_pVerifyCertificate->isChecked();
    s.m_strFTPCertificateFingerprint = m_strFingerprint;
    s.m_strFTPSecurityRefusal.clear(); // the page's controls hold a valid choice
    s.m_bUseFireWall = m_pUseProxy->isChecked();
    s.m_nFireWallType = m_proxy.type;
    s.m_strFireWallServer = m_proxy.server;
    s.m_nFireWallPort = m_proxy.port;
    s.m_strFireWallUsername = m_proxy.user;
    s.m_strFireWallPassword = m_proxy.password;
    const int target = m_pTarget->currentIndex();
    s.m_strUploadTarget = target < 0 ? std::string("?") : kTargetWords[target];
    s.m_bFTPPortSet = true;
    s.m_strSFTPHostKey = m_pSftpHostKey->text().trimmed().toStdString();
    s.m_strSFTPKnownHosts = ReadSettingString(keys::UploadOptions::SFTPKnownHosts);
    s.m_strSFTPKeyFile = m_pSftpKeyFile->text().toStdString();
    s.m_strSFTPKeyPassphrase = m_pSftpKeyPassphrase->text().toStdString();
    s.m_strWebDAVURL = m_pWebDavUrl->text().trimmed().toStdString();
    s.m_strS3Endpoint = m_pS3Endpoint->text().trimmed().toStdString();
    s.m_strS3Region = m_pS3Region->text().trimmed().toStdString();
    s.m_strS3Bucket = m_pS3Bucket->text().trimmed().toStdString();
    s.m_strS3AccessKey = m_pS3AccessKey->text().trimmed().toStdString();
    s.m_strS3Secret = m_pS3Secret->text().toStdString();
    s.m_strS3CacheControl = m_pS3CacheControl->text().trimmed().toStdString();
    s.m_strS3StorageClass = ReadSettingString(keys::UploadOptions::S3StorageClass);
    return s;
}

void CMyPropertyPage2::OnTest()
{
    if (m_pTestDialog)
        m_pTestDialog->close(); // its test, if still running, finishes unseen
    auto* dialog = new CFtpTestDialog(FtpSettings(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_pTestDialog = dialog;
    connect(dialog, &CFtpTestDialog::testFinished, this, &CMyPropertyPage2::UpdateEnabling);
    // "Pin this certificate": the fingerprint the test saw is the one checked from now on.
    connect(dialog, &CFtpTestDialog::pinRequested, this, [this](const QString& fingerprint) {
        m_strFingerprint = fingerprint.toStdString();
        markModified();
    });
    connect(dialog, &QObject::destroyed, this, &CMyPropertyPage2::UpdateEnabling);
    UpdateEnabling();
    dialog->show();
}

} // namespace vistrel
