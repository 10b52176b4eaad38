#include "ui/sheet/NetworkCameraDialog.h"

#include "capture/NetworkCamera.h"
#include "config/SettingsFile.h"
#include "platform/Prompter.h"
#include "ui/sheet/PageKeys.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vistrel {

namespace {

std::string ToStd(const QString& s)
{
    return s.toUtf8().toStdString();
}

} // namespace

CNetworkCameraDialog::CNetworkCameraDialog(const NetworkCameraKeys& camera, Prompter& prompter,
                                           QWidget* parent)
    : QDialog(parent), m_nSlot(camera.slot), m_prompter(prompter)
{
    setWindowTitle(QStringLiteral("Network Camera"));
    setObjectName(QStringLiteral("networkCamera"));
    const auto edit = [this](const char* name, const std::string& text) {
        auto* e = new QLineEdit(FromStd(text), this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    m_pName = edit("cameraName", camera.name);
    m_pUrl = edit("cameraUrl", camera.url);
    m_pUrl->setPlaceholderText(QStringLiteral("http://192.168.1.20/snapshot.jpg"));
    m_pUrl->setMinimumWidth(340);
    m_pUser = edit("cameraUser", camera.username);
    m_pPassword = edit("cameraPassword", camera.password);
    m_pPassword->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), m_pName);
    form->addRow(QStringLiteral("&URL:"), m_pUrl);
    form->addRow(QStringLiteral("U&ser name:"), m_pUser);
    form->addRow(QStringLiteral("&Password:"), m_pPassword);
    auto* hint = new QLabel(
        QStringLiteral("A snapshot address answering with one JPEG or PNG picture, an MJPEG "
                       "stream (http:// or https://), or an RTSP stream (rtsp://). Leave the "
                       "user name empty when the camera needs none or the URL holds it."),
        this);
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CNetworkCameraDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addWidget(buttons);
}

NetworkCameraKeys CNetworkCameraDialog::camera() const
{
    return {m_nSlot, ToStd(m_pName->text().trimmed()), ToStd(m_pUrl->text().trimmed()),
            ToStd(m_pUser->text()), ToStd(m_pPassword->text())};
}

void CNetworkCameraDialog::accept()
{
    const NetworkCameraKeys c = camera();
    QLineEdit* wrong = nullptr;
    std::string text;
    if (c.name.empty()) {
        wrong = m_pName;
        text = kNoNameText;
    } else if (NetworkCameraKindOf(c.url) == NetworkCameraKind::Unsupported) {
        wrong = m_pUrl;
        text = kBadUrlText;
    } else if (!PasswordFitsSettingsFile(c.password)) {
        wrong = m_pPassword;
        text = "The password is too long to be stored";
    }
    if (wrong) {
        m_prompter.message(text);
        wrong->setFocus();
        wrong->selectAll();
        return;
    }
    QDialog::accept();
}

} // namespace vistrel
