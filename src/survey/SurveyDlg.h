#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;

namespace vistrel {

// Hands an address to whatever opens it; the program uses the desktop's default handler.
using AddressOpener = std::function<void(const QString& address)>;

// Opens the address with the programs' address opener (the desktop's default handler, waited
// for beside the dialog); failure is not reported.
void OpenAddressWithDesktop(const QString& address);

// "Uninstall Survey": tells the user the product is being removed and asks whether they will say
// why. Yes hands the survey address to the opener (when there is one) and closes; No closes.
class CSurveyDlg : public QDialog {
    Q_OBJECT
  public:
    CSurveyDlg(const QString& address, const QString& title, AddressOpener opener,
               QWidget* parent = nullptr);

    QString MessageText() const;

  private:
    void OnYes();

    QString m_strAddress;
    QString m_strTitle;
    AddressOpener m_opener;
    QLabel* m_pMessage = nullptr;
};

} // namespace vistrel
