#pragma once

#include "config/KeyCatalogue.h"
#include "ftp/FtpConnection.h"
#include "ftp/FtpFailure.h"
#include "platform/AutoResetEvent.h"
#include "upload/UploadTarget.h"

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vistrel {

struct ArchiveSettings;

// The log-on with the key table's defaults.
inline FtpConnection DefaultFtpConnection()
{
    FtpConnection c;
    c.port = keys::UploadOptions::FTPPort.programDefaultInt();
    c.proxyPort = keys::UploadOptions::FireWallPort.programDefaultInt();
    c.timeout = keys::UploadOptions::FTPTimeOut.programDefaultInt();
    return c;
}

// The settings one cycle uses, copied from the live settings when the cycle starts (so a reload
// of the settings in the middle of a cycle cannot tear the values it works with). Defaults are
// the key table's.
struct UploadSettings {
    std::string programFolder; // with its trailing '/', or empty for the current directory
    bool saveAsFile = keys::UploadOptions::SaveAsFile.programDefaultFlag();
    std::string saveAsFilename{keys::UploadOptions::SaveAsFilename.programDefault};
    bool ftpUpload = false;
    FtpConnection ftp = DefaultFtpConnection(); // where and how to log on
    std::string ftpDirectory;
    std::string ftpFilename{keys::UploadOptions::FTPFilename.programDefault};
    bool noTempFile = false;
    bool ftpLog = false;
    bool onlyWhileOnline = keys::UploadOptions::OnlyWhileOnline.programDefaultFlag();
    int archiveInterval = 0;
    int numberOfArchives = 0;
    int archiveOrder = 0;
    bool deleteBeforeMove = false;
    std::string saveAsPattern; // dated local copies (strftime), empty for none
    std::string remotePattern; // dated remote copies (strftime), empty for none
    int keepDays = 0;          // pruning of the dated local copies; 0 = no limit
    int keepFiles = 0;
    bool useLan = false;
    bool askBeforeConnect = keys::ConnectOptions::AskBeforeConnect.programDefaultFlag();
    std::string dun;
    std::string dunUserName;
    std::string dunPassword;
    std::string dunPhoneNumber;
    // UploadOptions/UploadTarget as written; the other targets' fields (their kind is set when
    // the cycle reads the word).
    std::string uploadTarget{keys::UploadOptions::UploadTarget.programDefault};
    TargetSettings target;
    std::string afterPublish; // a command line, split as a shell splits words
    int afterPublishTimeout = keys::UploadOptions::AfterPublishTimeout.programDefaultInt();
};

// The FTP session operations a cycle needs; the real session adapts to it.
class FtpSessionOps {
  public:
    virtual ~FtpSessionOps() = default; // closes the log and the connection without QUIT
    virtual bool OpenLog(const std::string& path) = 0;
    virtual bool LogOn(const FtpConnection& connection) = 0;
    virtual bool ChangeDir(const std::string& dir) = 0;
    virtual bool DeleteFile(const std::string& name) = 0;
    virtual bool RenameTolerant(const std::string& from, const std::string& to) = 0;
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    virtual bool MakeDir(const std::string& name) = 0; // fails for a folder that exists
    virtual bool UploadFile(const std::string& localPath, const std::string& remoteName) = 0;
    virtual void Quit() = 0;
    virtual std::string Message() const = 0;
    // Why the log-on could not connect, in words ("connection refused: nothing listens on …"),
    // or empty.
    virtual std::string ConnectCause() const { return {}; }
};

// The dial-up operations a cycle needs.
class DialUpOps {
  public:
    virtual ~DialUpOps() = default;
    virtual bool FindConnected() = 0;
    virtual bool Dial(const std::string& entry, const std::string& user,
                      const std::string& password, const std::string& phone) = 0;
    virtual std::string GetErrorText() = 0;
    virtual void HangUp(bool onlyIfOurs) = 0;
};

// What the worker tells its host (the desktop window or the headless publisher). Status and
// results travel by value, so the host never reads a string the worker is replacing.
class UploadHost {
  public:
    virtual ~UploadHost() = default;
    virtual void StatusChanged(const std::string& status) = 0;
    // The cycle is over: result 1 = success or nothing to report, 0 = failure; lastCapture is
    // the cycle's result text.
    virtual void CycleDone(int result, const std::string& lastCapture) = 0;
    // The hang-up step's "Disconnecting...": shown in the status field at once, without the
    // tray tip that StatusChanged also sets.
    virtual void ShowStatusNow(const std::string& status) = 0;
    // A Yes/No question for the user, asked from the worker thread. The worker blocks until the
    // user has answered on the user-interface thread; true = Yes. Answered No, without asking,
    // once the window (or the hub) is gone or shutting down, so the worker never waits for an
    // answer that cannot come.
    virtual bool AskQuestionAndWait(const std::string& question) = 0;
};

// The four worker events (auto-reset, created unsignalled).
struct WorkerEvents {
    AutoResetEvent capture;
    AutoResetEvent idle;
    AutoResetEvent quit;
    AutoResetEvent threadEnded;
};

// The result texts and counter the worker shares with its owner, behind one lock.
class CycleRecord {
  public:
    std::string LastCapture() const;
    void SetLastCapture(const std::string& text);
    // What the last cycle's failure found beyond its result text (why the connection could not
    // be made), for logs that have room for it; empty when there is nothing more.
    std::string LastCause() const;
    void SetLastCause(const std::string& text);
    int CurrentUpload() const;
    void SetCurrentUpload(int n);
    int IncrementCurrentUpload();
    bool AutoTriggered() const;
    void SetAutoTriggered(bool automatic);

  private:
    mutable std::mutex m_mutex;
    std::string m_strLastCapture;
    std::string m_strLastCause;
    int m_nCurrentUpload = 0;
    bool m_bAutoTriggered = false;
};

// The capture-and-publish worker: waits for a request, runs one cycle, reports, and waits again
// until asked to quit. Run() is the thread procedure.
class UploadThread {
  public:
    // Composes the picture into outPath; returns the capture time text, or an empty text with
    // *error set.
    using Composer = std::function<std::string(const std::string& outPath, std::string* error)>;
    using SessionFactory = std::function<std::unique_ptr<FtpSessionOps>()>;
    using SettingsSnapshot = std::function<UploadSettings()>;
    // A session for an SFTP, WebDAV or S3 target, or nullptr with *error saying why not.
    using TargetFactory = TargetSessionFactory;

    UploadThread(WorkerEvents& events, CycleRecord& record, UploadHost& host,
                 SettingsSnapshot settings, Composer composer, SessionFactory sessions,
                 DialUpOps* dialUp);

    // Where sessions for the other targets come from; the upload-target module unless set.
    void SetTargetSessions(TargetFactory factory) { m_targets = std::move(factory); }

    // The thread procedure: returns 1 after an orderly end.
    int Run();
    // The clock that dates the copies (tests set it before Run).
    void SetClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }

    // The status every cycle posts first.
    static constexpr const char* kCapturing = "Capturing Image...";
    // Starts the result text of a cycle whose local copy or local archive could not be written.
    static constexpr const char* kLocalCopyError = "Local Copy Error: ";

  private:
    enum class Outcome { Continue, Quit };
    // Whether a failed FTP step is followed by QUIT (not after a failed log-on, a failed
    // rotation or delete, or an exception).
    enum class QuitCommand { Send, Skip };

    Outcome RunCycle();
    // The FTP part of a cycle, from the session's creation to QUIT.
    Outcome Upload(const UploadSettings& s, const std::string& picture,
                   const ArchiveSettings& archive, std::time_t when);
    bool QuitRequested();
    void PostStatus(const std::string& text);
    // Ends a cycle: drops the session, gives back the idle token, then one CycleDone.
    Outcome Finish(int result);
    // The one way a cycle ends after an FTP step failed: the result text (prefix and the
    // session's message), QUIT when asked, the hang-up step, then Finish(0).
    Outcome FailCycle(const UploadSettings& s, const std::string& prefix, QuitCommand quit);
    void HangUpStep(const UploadSettings& s);
    // The upload part of a cycle for SFTP, WebDAV and S3: log on, turn the archive, store under
    // the temporary name, rename into place (S3 stores in place: a PUT is whole by itself).
    Outcome RunTargetCycle(const UploadSettings& s, TargetKind kind, const std::string& picture);
    Outcome FailTarget(const UploadSettings& s, const std::string& prefix);
    // The command after each picture, with the cycle's result.
    void RunAfterPublish(const UploadSettings& s, int result);
    // Whether shutdown was asked for, without taking the request away.
    bool QuitPending();
    // 1 = on line, 0 = skip, -1 = dialling failed.
    int MakeSureOnLine(const UploadSettings& s);
    // The dated local copy of this cycle's picture and the pruning of the older ones; a failure
    // becomes the local copy's error.
    void SaveDatedLocalCopy(const UploadSettings& s, const std::string& picture, std::time_t when);
    // Stores the dated remote copy in the current remote directory, its folders made first.
    bool StoreDatedRemoteCopy(const UploadSettings& s, const std::string& picture,
                              const std::string& name);

    WorkerEvents& m_events;
    CycleRecord& m_record;
    UploadHost& m_host;
    SettingsSnapshot m_settings;
    Composer m_composer;
    SessionFactory m_sessions;
    DialUpOps* m_dialUp;
    std::unique_ptr<FtpSessionOps> m_session;
    TargetFactory m_targets;
    std::unique_ptr<TargetSession> m_target;
    UploadSettings m_cycleSettings; // this cycle's, for the command after it
    std::string m_strPicture;       // this cycle's picture, empty when none was made
    std::string m_strPrevLastCapture;
    std::string m_strLocalCopyError; // this cycle's, empty when the local copy was made
    bool m_bDialledThisCycle = false;
    bool m_bCycleEnded = false; // Finish has reported this cycle
    bool m_bAutoTriggered = false;
    std::function<std::time_t()> m_clock = [] { return std::time(nullptr); };
    // The remote folder (with its server and upload directory) the last dated copy went to: its
    // folders are made only when it changes.
    std::string m_strRemoteFolderMade;
};

} // namespace vistrel
