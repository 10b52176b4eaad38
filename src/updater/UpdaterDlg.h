#pragma once

#include "platform/Prompter.h"
#include "updater/HttpClient.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class QAction;
class QLabel;
class QProgressBar;
class QPlainTextEdit;
class QPushButton;

namespace vistrel {

// The updater's window. Started with the path of the local PAD file, it fetches the current PAD
// file from the address the local one gives into "update.xml" in the working directory, says
// whether a newer version exists and what is new, and on Update downloads the setup program as
// "<program name>-update.exe" beside it and starts it.
//
// Transfers run on a worker thread so that the window stays responsive and Cancel can be pressed;
// their results come back to the window's thread. "&About Updater..." is in the window's context
// menu (right-click anywhere in the window, or the keyboard's menu key).
class CUpdaterDlg : public QDialog {
    Q_OBJECT
  public:
    // commandLine is the text after the program name; message boxes go through prompter.
    CUpdaterDlg(std::string commandLine, Prompter& prompter, QWidget* parent = nullptr);
    ~CUpdaterDlg() override;

    // Reads the command line and the local PAD file and schedules the update check for when the
    // event loop runs. False when no PAD file was named: the usage message has been shown and the
    // dialog closed with result 1.
    bool OnInitDialog();

    // The status text as set, line ends included.
    const std::string& StatusText() const { return m_strStatus; }

    // Cancel ends the process at once; tests replace the way it does so.
    void SetProcessExit(std::function<void(int)> exitProcess);

  private:
    void OnUpdateCheck();
    void OnRemotePadFetched();
    void OnUpdate();
    void OnExitOrCancel();
    void OnProgress();
    void OnAbout();

    enum class TransferResult { Done, ConnectFailed, DownloadFailed };
    // Connects to host:port and downloads resource into localPath on the worker thread, then
    // calls done on the window's thread.
    // nMaxBytes > 0 limits the size of the download.
    void StartTransfer(const std::string& host, std::uint16_t port, bool secure,
                       const std::string& localPath, const std::string& resource,
                       std::int64_t nMaxBytes, std::function<void(TransferResult)> done);
    static void ProgressCallback(int nEvent, void* pUserValue);

    void SetStatus(const std::string& text);
    void SetExitButtonCancels(bool cancels);
    std::string LibraryMessage() const;
    std::string WorkingFile(const std::string& name) const;
    void LaunchSetup(const std::string& path);

    std::string m_strCommandLine;
    Prompter& m_prompter;

    std::string m_strPadPath;
    std::string m_strInstalledVersion;
    std::string m_strNewVersion;
    std::string m_strPadAddress;
    std::string m_strDownloadAddress;
    bool m_bPadSecure = false; // the PAD file came over https
    std::string m_strProgramName;
    std::string m_strWhatsNew;
    std::string m_strWorkingDirectory;
    std::string m_strStatus;
    bool m_bShowByteCounts = false;
    bool m_bSilent = false;
    bool m_bWaitCursor = false;
    bool m_bExitCancels = false; // the Exit button reads "Cancel" while the setup download runs

    CHttpClient m_http;
    std::thread m_worker;
    std::atomic<bool> m_bProgressPending{false};
    std::function<void(int)> m_exitProcess;

    // A read-only text box rather than a label: a long "What's New" scrolls inside it instead of
    // stretching the window.
    QPlainTextEdit* m_pStatus = nullptr;
    QLabel* m_pByteCount = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pUpdate = nullptr;
    QPushButton* m_pExit = nullptr;
    QAction* m_pAboutAction = nullptr;
};

} // namespace vistrel
