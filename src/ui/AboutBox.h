#pragma once

#include <QDialog>

class QLabel;

namespace vistrel {

class CHyperLink;

// The maker's addresses the About box links to.
inline constexpr const char* kMakerEmail = "support@tesselsoftware.example";
inline constexpr const char* kMakerWebHost = "www.tesselsoftware.example";

// "About Vistrel": the program's name, version and copyright from the compiled-in version
// information, and links to the maker's support address and web site, both blue in every state.
class CAboutBox : public QDialog {
    Q_OBJECT
  public:
    // mainWindow: the window it is centred over (and whose tray mode it follows).
    explicit CAboutBox(QWidget* mainWindow);

    QString ProductText() const;
    QString VersionText() const;
    QString CopyrightText() const;
    CHyperLink* EmailLink() const { return m_pEmail; }
    CHyperLink* WebLink() const { return m_pWeb; }

  private:
    QLabel* m_pProduct = nullptr;
    QLabel* m_pVersion = nullptr;
    QLabel* m_pCopyright = nullptr;
    CHyperLink* m_pEmail = nullptr;
    CHyperLink* m_pWeb = nullptr;
};

// Centres window over the main window when that is shown, else on its screen.
void CentreOverMainWindow(QWidget* window, const QWidget* mainWindow);

} // namespace vistrel
