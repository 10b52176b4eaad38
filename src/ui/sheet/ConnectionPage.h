#pragma once

#include "ui/sheet/SettingsPage.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace vistrel {

// The Connection page: the LAN, or a dial-up entry with its log-in data.
class CMyPropertyPage1 : public CSettingsPage {
    Q_OBJECT
  public:
    static constexpr const char* kNoRasText =
        "Vistrel was unable to load RAS (Dialup) support.\nConnection will be set to LAN or other "
        "direct connection";

    CMyPropertyPage1(Hub& hub, Prompter& prompter, QWidget* parent = nullptr);

    QString title() const override { return QStringLiteral("Connection"); }
    int helpContext() const override;
    ReloadGroup reloadGroup() const override { return ReloadGroup::Connection; }
    std::optional<PageRefusal> validate() override;

  protected:
    void loadSettings() override;
    void opened() override;

  private:
    // The entry the DUN key stores: the one chosen, or the stored one while the list is empty.
    std::string ShownEntry() const;
    void EnableDialUp(bool on);
    void OnLanClicked(bool checked);
    void OnEntrySelected(int index);

    std::string m_strStoredEntry; // ConnectOptions/DUN as read, for the selection
    QCheckBox* m_pUseLan;
    QGroupBox* m_pModem;
    QComboBox* m_pEntries;
    QLineEdit* m_pUserName;
    QLineEdit* m_pPassword;
    QLineEdit* m_pPhoneNumber;
    QCheckBox* m_pAskBeforeConnect;
};

} // namespace vistrel
