#pragma once

#include "ftp/FtpBrowse.h"
#include "ui/dialogs/DialogServices.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <string>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vistrel {

class BackgroundAction;

// "Select FTP Directory": shows the sub-directories of a directory on the FTP server and lets the
// user walk the tree (double-click or Enter on an entry, ".." for the parent) and make a
// directory ("New Directory"). Each action logs on with a session of its own, works and quits;
// nothing stays connected in between.
//
// The sessions run off the user-interface thread, and meanwhile the dialog behaves as a modal
// one that is busy: wait cursor, everything but Cancel disabled. Cancel (or Escape, or closing
// the window) abandons the action at once. Cancel and Escape then show what the dialog showed
// before (while the first listing is still on its way they close it); closing the window closes
// it. A server that never answers therefore never freezes the window.
//
// Failures show the session's message. A failed first listing, or a failed "..", closes the
// dialog with result 0, so the page applies nothing. OK hands back the current directory.
//
// Use from the Location page ("..." beside the directory):
//     FtpBrowseSettings s{ToFtpConnection(pageSettings), directoryText};
//     CFtpDirDialog dialog(s, services, this);
//     if (dialog.exec() == QDialog::Accepted)
//         directoryEdit->setText(QString::fromStdString(dialog.Directory()));
class CFtpDirDialog : public QDialog {
    Q_OBJECT
  public:
    CFtpDirDialog(const FtpBrowseSettings& settings, DialogServices services = {},
                  QWidget* parent = nullptr);
    ~CFtpDirDialog() override;

    // The directory OK chose; the start directory until then.
    std::string Directory() const { return m_strResult; }

    // What the dialog shows, for tests.
    QString CurrentDirectory() const;
    QStringList Entries() const;
    bool Busy() const;

    void accept() override;
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Lists directory; then(ok) runs once the listing has been shown (not when abandoned).
    void Browse(const std::string& directory, std::function<void(bool)> then);
    void OnOpenItem(QListWidgetItem* item);
    void OnUp();
    void OnNewDirectory();
    void Run(std::function<FtpBrowseOutcome()> work,
             std::function<void(const FtpBrowseOutcome&)> finished);
    void SetBusy(bool busy);

    DialogSupport m_support;
    FtpBrowseSettings m_settings;
    std::string m_strResult;
    std::string m_strCurrent; // empty until the first listing
    bool m_bStarted = false;
    bool m_bListed = false;
    BackgroundAction* m_pAction;
    std::shared_ptr<std::atomic<bool>> m_pListingCancelled; // of the newest listing
    QLabel* m_pCurrent;
    QPushButton* m_pUp;
    QPushButton* m_pNew;
    QListWidget* m_pList;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
};

} // namespace vistrel
