#pragma once

#include "config/NetworkCameraSettings.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace vistrel {

class Prompter;

// The Device page's dialog for a network camera: its name, its address (an http://, https://
// or rtsp:// URL) and the user name and password it asks for. OK refuses a camera without a
// name, an address this program cannot read, or a password too long to be stored.
class CNetworkCameraDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kNoNameText = "Enter a name for the camera.";
    static constexpr const char* kBadUrlText =
        "Enter the camera's address as an http://, https:// or rtsp:// URL.";

    CNetworkCameraDialog(const NetworkCameraKeys& camera, Prompter& prompter,
                         QWidget* parent = nullptr);

    // What the fields hold, with the slot it was opened with.
    NetworkCameraKeys camera() const;

    void accept() override;

  private:
    int m_nSlot;
    Prompter& m_prompter;
    QLineEdit* m_pName;
    QLineEdit* m_pUrl;
    QLineEdit* m_pUser;
    QLineEdit* m_pPassword;
};

} // namespace vistrel
