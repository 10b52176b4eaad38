#include "ui/sheet/ConnectionPage.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "platform/Prompter.h"
#include "ui/HelpWindow.h"
#include "ui/sheet/PageRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vistrel {

CMyPropertyPage1::CMyPropertyPage1(Hub& hub, Prompter& prompter, QWidget* parent)
    : CSettingsPage(hub, prompter, parent)
{
    m_pUseLan = MakeCheck("useLan", "Connect via LAN or other direct connection");
    m_pModem = new QGroupBox(QStringLiteral("Modem Connection"), this);
    m_pModem->setObjectName(QStringLiteral("modemConnection"));
    m_pEntries = new QComboBox(m_pModem);
    m_pEntries->setObjectName(QStringLiteral("dialUpEntry"));
    m_pUserName = MakeEdit("userName", m_pModem);
    m_pPassword = MakeEdit("password", m_pModem);
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pPhoneNumber = MakeEdit("phoneNumber", m_pModem);
    m_pAskBeforeConnect =
        MakeCheck("askBeforeConnect", "Ask before connecting and disconnecting", m_pModem);

    auto* modem = new QVBoxLayout(m_pModem);
    auto* entryLabel =
        new QLabel(QStringLiteral("Use this Dial-Up when connecting to the Internet"), m_pModem);
    entryLabel->setBuddy(m_pEntries);
    modem->addWidget(entryLabel);
    modem->addWidget(m_pEntries);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User &Name"), m_pUserName);
    form->addRow(QStringLiteral("Pass&word"), m_pPassword);
    form->addRow(QStringLiteral("Number to &dial"), m_pPhoneNumber);
    modem->addLayout(form);
    modem->addWidget(m_pAskBeforeConnect);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pUseLan);
    layout->addWidget(m_pModem);
    layout->addStretch(1);

    namespace k = keys::ConnectOptions;
    m_keys.add(k::AskBeforeConnect, m_pAskBeforeConnect);
    m_keys.add(k::UseLAN, m_pUseLan);
    m_keys.add(
        k::DUN, [this] { return ShownEntry(); },
        [this](const std::string& v) { m_strStoredEntry = v; });
    m_keys.add(k::UserName, m_pUserName);
    m_keys.add(k::Password, m_pPassword);
    m_keys.add(k::PhoneNumber, m_pPhoneNumber);

    watch({m_pUseLan, m_pEntries, m_pUserName, m_pPassword, m_pPhoneNumber, m_pAskBeforeConnect});
    connect(m_pUseLan, &QCheckBox::clicked, this, &CMyPropertyPage1::OnLanClicked);
    connect(m_pEntries, &QComboBox::activated, this, &CMyPropertyPage1::OnEntrySelected);
    AddHelpShortcut(this, helpContext());
}

std::string CMyPropertyPage1::ShownEntry() const
{
    // Without dial-up support the list is empty: the stored entry stays as it is.
    if (m_pEntries->count() == 0)
        return m_strStoredEntry;
    return m_pEntries->currentText().toStdString();
}

int CMyPropertyPage1::helpContext() const
{
    return kHelpConnectionPage;
}

void CMyPropertyPage1::loadSettings()
{
    CSettingsPage::loadSettings();
    m_pEntries->clear();
    if (!m_hub.DialUpAvailable())
        return;
    for (const std::string& name : m_hub.PhoneBook())
        m_pEntries->addItem(FromStd(name));
    // The stored name selects the first entry it begins, letters compared without regard to
    // case, as a list's own string selection does (so an empty name selects the first entry).
    const QString stored = FromStd(m_strStoredEntry);
    m_pEntries->setCurrentIndex(-1);
    for (int i = 0; i < m_pEntries->count(); ++i) {
        if (m_pEntries->itemText(i).startsWith(stored, Qt::CaseInsensitive)) {
            m_pEntries->setCurrentIndex(i);
            break;
        }
    }
}

void CMyPropertyPage1::opened()
{
    EnableDialUp(!m_pUseLan->isChecked());
}

void CMyPropertyPage1::EnableDialUp(bool on)
{
    m_pModem->setEnabled(on);
}

void CMyPropertyPage1::OnLanClicked(bool checked)
{
    if (!m_hub.DialUpAvailable()) {
        m_prompter.message(kNoRasText);
        m_pUseLan->setChecked(true);
        return;
    }
    EnableDialUp(!checked);
}

void CMyPropertyPage1::OnEntrySelected(int index)
{
    if (index < 0)
        return;
    std::string userName, password, phoneNumber;
    // On a failure the manager has said why; the fields keep what the user had.
    if (m_hub.PhoneBookEntry(m_pEntries->itemText(index).toStdString(), userName, password,
                             phoneNumber)) {
        m_pUserName->setText(FromStd(userName));
        m_pPassword->setText(FromStd(password));
        m_pPhoneNumber->setText(FromStd(phoneNumber));
    }
    markModified();
}

std::optional<PageRefusal> CMyPropertyPage1::validate()
{
    if (!PasswordFitsSettingsFile(m_pPassword->text().toStdString()))
        return PageRefusal{m_pPassword, PasswordTooLongText()};
    return std::nullopt;
}

} // namespace vistrel
