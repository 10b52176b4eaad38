#include "ui/dialogs/CFtpProxyDialog.h"

#include "ui/dialogs/DialogWidgets.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace vistrel {

CFtpProxyDialog::CFtpProxyDialog(const ProxySettings& values, DialogServices services,
                                 QWidget* parent)
    : QDialog(parent), m_support(std::move(services), this), m_values(values)
{
    setWindowTitle(QStringLiteral("FTP Proxy Settings"));

    m_pType = MakeCodeList(this, "type",
                           {"SITE server", "OPEN server", "USER after logon", "USER no logon"},
                           values.type);
    m_pServer = new QLineEdit(QString::fromStdString(values.server), this);
    m_pServer->setObjectName(QStringLiteral("server"));
    m_pPort = new QLineEdit(QString::number(values.port), this);
    m_pPort->setObjectName(QStringLiteral("port"));
    m_pUser = new QLineEdit(QString::fromStdString(values.user), this);
    m_pUser->setObjectName(QStringLiteral("user"));
    m_pPassword = new QLineEdit(QString::fromStdString(values.password), this);
    m_pPassword->setObjectName(QStringLiteral("password"));
    m_pPassword->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Type"), m_pType);
    form->addRow(QStringLiteral("&Server"), m_pServer);
    form->addRow(QStringLiteral("&Port"), m_pPort);
    form->addRow(QStringLiteral("&Username"), m_pUser);
    form->addRow(QStringLiteral("Pass&word"), m_pPassword);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFtpProxyDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

CFtpProxyDialog::~CFtpProxyDialog() = default;

bool CFtpProxyDialog::ParsePort(const QString& text, int& port)
{
    static const QRegularExpression integer(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    if (!integer.match(text).hasMatch())
        return false;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (ok)
        port = value;
    return ok;
}

void CFtpProxyDialog::accept()
{
    int port = 0;
    if (!ParsePort(m_pPort->text(), port)) {
        m_support.Message("Please enter an integer.");
        m_pPort->setFocus();
        m_pPort->selectAll();
        return;
    }
    // A stored type that the list cannot show stays as it was unless the user chose one.
    if (m_pType->currentIndex() >= 0)
        m_values.type = m_pType->currentIndex();
    m_values.server = m_pServer->text().toStdString();
    m_values.port = port;
    m_values.user = m_pUser->text().toStdString();
    m_values.password = m_pPassword->text().toStdString();
    QDialog::accept();
}

} // namespace vistrel
