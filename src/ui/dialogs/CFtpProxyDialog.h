#pragma once

#include "ui/dialogs/DialogServices.h"

#include <QDialog>

#include <string>

class QComboBox;
class QLineEdit;

namespace vistrel {

// The FTP proxy as the Location page keeps it (UploadOptions FireWallType, FireWallServer,
// FireWallPort, FireWallUsername, FireWallPassword). type indexes the proxy type list; -1 is
// "not chosen", and 4..6 (kept in settings files, no entry in the list) are valid too, see
// LogonTypeForProxy.
struct ProxySettings {
    int type = 3;
    std::string server;
    int port = 21;
    std::string user;
    std::string password;
    bool operator==(const ProxySettings&) const = default;
};

// "FTP Proxy Settings": the proxy type ("SITE server", "OPEN server", "USER after logon", "USER
// no logon"), server, port, user name and masked password. A type outside the list (-1, or 4..6
// from a settings file) shows no selection and comes back unchanged unless one is chosen. OK with
// a port that is not an integer says "Please enter an integer." and keeps the dialog open.
//
// Use from a settings page:
//     CFtpProxyDialog dialog(m_proxy, services, this);
//     if (dialog.exec() == QDialog::Accepted) {
//         m_proxy = dialog.Values();
//         markModified();
//     }
class CFtpProxyDialog : public QDialog {
    Q_OBJECT
  public:
    CFtpProxyDialog(const ProxySettings& values, DialogServices services = {},
                    QWidget* parent = nullptr);
    ~CFtpProxyDialog() override;

    // The values OK took (the values given, until OK succeeded).
    ProxySettings Values() const { return m_values; }

    void accept() override;

    // The port as a signed integer: optional blanks around an optional sign and digits, within
    // the range of int. False for anything else.
    static bool ParsePort(const QString& text, int& port);

  private:
    DialogSupport m_support;
    ProxySettings m_values;
    QComboBox* m_pType;
    QLineEdit* m_pServer;
    QLineEdit* m_pPort;
    QLineEdit* m_pUser;
    QLineEdit* m_pPassword;
};

} // namespace vistrel
