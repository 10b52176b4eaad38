#include "upload/UploadThread.h"

#include "ftp/FtpSession.h"
#include "platform/TimePattern.h"
#include "upload/AfterPublish.h"
#include "upload/Archive.h"
#include "upload/DatedNames.h"
#include "upload/TargetLoader.h"

namespace vistrel {

std::string CycleRecord::LastCapture() const
{
    std::lock_guard lock(m_mutex);
    return m_strLastCapture;
}

void CycleRecord::SetLastCapture(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_strLastCapture = text;
}

std::string CycleRecord::LastCause() const
{
    std::lock_guard lock(m_mutex);
    return m_strLastCause;
}

void CycleRecord::SetLastCause(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_strLastCause = text;
}

int CycleRecord::CurrentUpload() const
{
    std::lock_guard lock(m_mutex);
    return m_nCurrentUpload;
}

void CycleRecord::SetCurrentUpload(int n)
{
    std::lock_guard lock(m_mutex);
    m_nCurrentUpload = n;
}

int CycleRecord::IncrementCurrentUpload()
{
    std::lock_guard lock(m_mutex);
    return ++m_nCurrentUpload;
}

bool CycleRecord::AutoTriggered() const
{
    std::lock_guard lock(m_mutex);
    return m_bAutoTriggered;
}

void CycleRecord::SetAutoTriggered(bool automatic)
{
    std::lock_guard lock(m_mutex);
    m_bAutoTriggered = automatic;
}

UploadThread::UploadThread(WorkerEvents& events, CycleRecord& record, UploadHost& host,
                           SettingsSnapshot settings, Composer composer, SessionFactory sessions,
                           DialUpOps* dialUp)
    : m_events(events), m_record(record), m_host(host), m_settings(std::move(settings)),
      m_composer(std::move(composer)), m_sessions(std::move(sessions)), m_dialUp(dialUp)
{
}

int UploadThread::Run()
{
    while (m_events.capture.Wait(-1)) {
        if (QuitRequested() || RunCycle() == Outcome::Quit)
            break;
    }
    // Ending: no QUIT, no hang-up, no end-of-cycle report.
    m_session.reset();
    m_target.reset();
    m_events.threadEnded.Set();
    return 1;
}

bool UploadThread::QuitRequested()
{
    return m_events.quit.Wait(0);
}

bool UploadThread::QuitPending()
{
    if (!m_events.quit.Wait(0))
        return false;
    m_events.quit.Set(); // put back for the check that ends the cycle
    return true;
}

void UploadThread::PostStatus(const std::string& text)
{
    m_host.StatusChanged(text);
}

UploadThread::Outcome UploadThread::FailCycle(const UploadSettings& s, const std::string& prefix,
                                              QuitCommand quit)
{
    // The session's message is read before QUIT replaces it, and the result text is in place
    // before the hang-up step asks its question.
    m_record.SetLastCapture(prefix + (m_session ? m_session->Message() : std::string()));
    m_record.SetLastCause(m_session ? m_session->ConnectCause() : std::string());
    if (quit == QuitCommand::Send && m_session)
        m_session->Quit();
    HangUpStep(s);
    return Finish(0);
}

UploadThread::Outcome UploadThread::Finish(int result)
{
    // A local copy that failed makes the cycle a failure, after whatever else it reports.
    if (!m_strLocalCopyError.empty()) {
        m_record.SetLastCapture(result == 1 ? m_strLocalCopyError
                                            : m_record.LastCapture() + "\n" + m_strLocalCopyError);
        result = 0;
    }
    RunAfterPublish(m_cycleSettings, result);
    // The session goes first and the idle token comes back before the report, so the next
    // cycle never overlaps this one's teardown and a request made as soon as the result shows
    // is never refused for want of the token.
    m_session.reset();
    m_target.reset();
    m_events.idle.Set();
    m_bCycleEnded = true;
    m_host.CycleDone(result, m_record.LastCapture());
    return Outcome::Continue;
}

int UploadThread::MakeSureOnLine(const UploadSettings& s)
{
    if (s.useLan || (m_dialUp && m_dialUp->FindConnected()))
        return 1;
    bool dial;
    if (m_bAutoTriggered)
        dial = !s.onlyWhileOnline;
    else if (s.askBeforeConnect)
        dial = m_host.AskQuestionAndWait(
            "You are not connected to the Internet, would you like to connect?");
    else
        dial = true;
    if (!dial)
        return 0;
    PostStatus("Connecting to the internet...");
    if (!m_dialUp || !m_dialUp->Dial(s.dun, s.dunUserName, s.dunPassword, s.dunPhoneNumber))
        return -1;
    m_bDialledThisCycle = true;
    return 1;
}

void UploadThread::HangUpStep(const UploadSettings& s)
{
    if (!m_bDialledThisCycle || !m_dialUp)
        return;
    m_host.ShowStatusNow("Disconnecting...");
    if (m_bAutoTriggered || !s.askBeforeConnect) {
        m_dialUp->HangUp(false);
    } else if (m_dialUp->FindConnected()) {
        if (m_host.AskQuestionAndWait("Would you like to disconnect?"))
            m_dialUp->HangUp(false);
    }
}

void UploadThread::SaveDatedLocalCopy(const UploadSettings& s, const std::string& picture,
                                      std::time_t when)
{
    const std::string name = DatedName(s.saveAsPattern, LocalTime(when));
    std::string reason;
    if (name.empty()) {
        reason = keys::UploadOptions::SaveAsPattern.name() + "=" + s.saveAsPattern +
                 " gives no usable file name";
    } else {
        const std::string folder = SplitLocalName(s.saveAsFilename).dir;
        if (SaveDatedCopy(picture, name.front() == '/' ? name : folder + name, &reason)) {
            // A copy that cannot be removed is tried again next time; it fails no cycle.
            PruneDatedCopies(folder, s.saveAsPattern, s.keepDays, s.keepFiles, when);
            return;
        }
    }
    m_strLocalCopyError += (m_strLocalCopyError.empty() ? kLocalCopyError : "; ") + reason;
}

bool UploadThread::StoreDatedRemoteCopy(const UploadSettings& s, const std::string& picture,
                                        const std::string& name)
{
    FtpSessionOps& ftp = *m_session;
    const SplitName split = SplitRemoteName(name);
    const std::string made = s.ftp.host + "\n" + s.ftpDirectory + "\n" + split.dir;
    if (!split.dir.empty() && made != m_strRemoteFolderMade) {
        // A folder that is there already refuses MKD; a folder that could not be made fails the
        // store below, with the server's reason.
        for (const std::string& folder : DatedFolders(name))
            ftp.MakeDir(folder);
    }
    m_strRemoteFolderMade.clear();
    const std::string temp = split.dir + RemoteTempName(name);
    if (!ftp.UploadFile(picture, s.noTempFile ? name : temp))
        return false;
    if (!s.noTempFile && !ftp.Rename(temp, name))
        return false;
    m_strRemoteFolderMade = made;
    return true;
}

UploadThread::Outcome UploadThread::RunCycle()
{
    const UploadSettings s = m_settings();
    m_cycleSettings = s;
    m_strPicture.clear();
    m_bAutoTriggered = m_record.AutoTriggered();
    m_bDialledThisCycle = false;
    m_strLocalCopyError.clear();
    m_bCycleEnded = false;
    m_record.SetLastCause({});
    PostStatus(kCapturing);
    m_strPrevLastCapture = m_record.LastCapture();

    const std::string picture = s.programFolder + "~vistrel.jpg";
    std::string captureError;
    const std::string stamp = m_composer(picture, &captureError);
    if (stamp.empty()) {
        m_record.SetLastCapture(captureError);
        return Finish(0);
    }
    m_record.SetLastCapture(stamp);
    m_record.IncrementCurrentUpload();
    m_strPicture = picture;
    const std::time_t when = m_clock();

    const ArchiveSettings archive{s.archiveInterval, s.numberOfArchives, s.archiveOrder,
                                  s.deleteBeforeMove};
    if (s.saveAsFile) {
        const bool turn = ArchiveDue(archive, m_record.CurrentUpload());
        if (turn) {
            if (!s.ftpUpload)
                m_record.SetCurrentUpload(0);
            PostStatus("Archiving images...");
        }
        // A full disk keeps the old pictures; the upload still goes on, and the cycle ends
        // reporting why the local copy is not new.
        std::string reason;
        if (!SaveLocalCopy(picture, s.saveAsFilename, archive, turn, &reason))
            m_strLocalCopyError = kLocalCopyError + reason;
        else
            m_strPicture = s.saveAsFilename;
        if (!s.saveAsPattern.empty())
            SaveDatedLocalCopy(s, picture, when);
    }
    if (!s.ftpUpload)
        return Finish(1);
    TargetKind kind = TargetKind::Ftp;
    if (std::string why; !ParseUploadTarget(s.uploadTarget, &kind, &why)) {
        m_record.SetLastCapture("Upload Error: " + why);
        return Finish(0);
    }

    switch (MakeSureOnLine(s)) {
    case 0:
        m_record.SetLastCapture(m_strPrevLastCapture);
        return Finish(1);
    case -1:
        m_record.SetLastCapture(m_dialUp ? m_dialUp->GetErrorText() : std::string());
        return Finish(0);
    default:
        break;
    }

    if (QuitRequested())
        return Outcome::Quit;
    if (kind != TargetKind::Ftp)
        return RunTargetCycle(s, kind, picture);
    // Whatever goes wrong in the FTP part (a failed allocation, say) ends this cycle as a failure
    // and leaves the worker waiting for the next one; nothing more is sent on that session.
    try {
        return Upload(s, picture, archive, when);
    } catch (...) {
        if (m_bCycleEnded)
            return Outcome::Continue; // reported already: the failure came after the report
        return FailCycle(s, "FTP Error: ", QuitCommand::Skip);
    }
}

UploadThread::Outcome UploadThread::Upload(const UploadSettings& s, const std::string& picture,
                                           const ArchiveSettings& archive, std::time_t when)
{
    PostStatus("Connecting to " + s.ftp.host + "...");
    if (QuitRequested())
        return Outcome::Quit;

    m_session = m_sessions();
    FtpSessionOps& ftp = *m_session;
    PostStatus("Logging in to " + s.ftp.host + "...");
    if (s.ftpLog)
        ftp.OpenLog(s.programFolder + kFtpLogFileName);

    if (!ftp.LogOn(s.ftp))
        return FailCycle(s, "FTP Error: ", QuitCommand::Skip);
    if (CertificateUnchecked(s.ftp.security))
        PostStatus(ftptext::kNotVerified); // once per session, as in the FTP log

    if (QuitRequested())
        return Outcome::Quit;
    if (!s.ftpDirectory.empty() && !ftp.ChangeDir(s.ftpDirectory))
        return FailCycle(s, "FTP Error: ", QuitCommand::Send);

    if (QuitRequested())
        return Outcome::Quit;
    if (ArchiveDue(archive, m_record.CurrentUpload())) {
        // Reset before turning, so a failed rotation does not turn again next cycle.
        m_record.SetCurrentUpload(0);
        PostStatus("Archiving images...");
        if (!RotateRemoteArchive(archive, s.ftpFilename, ftp))
            return FailCycle(s, "FTP Error: ", QuitCommand::Skip);
    }

    if (QuitRequested())
        return Outcome::Quit;
    PostStatus("Uploading image as " + s.ftpFilename + "...");
    const std::string tempName = RemoteTempName(s.ftpFilename);
    if (QuitRequested())
        return Outcome::Quit;

    const std::string target = s.noTempFile ? s.ftpFilename : tempName;
    if (!ftp.UploadFile(picture, target))
        return FailCycle(s, "FTP Error: (Upload) ", QuitCommand::Send);
    if (!s.noTempFile) {
        if (s.deleteBeforeMove && !ftp.DeleteFile(s.ftpFilename))
            return FailCycle(s, "FTP Delete: ", QuitCommand::Skip);
        if (!ftp.Rename(tempName, s.ftpFilename))
            return FailCycle(s, "FTP Error: ", QuitCommand::Send);
    }

    if (!s.remotePattern.empty()) {
        if (QuitRequested())
            return Outcome::Quit;
        const std::string name = DatedName(s.remotePattern, LocalTime(when), true);
        if (name.empty()) {
            m_record.SetLastCapture("FTP Error: " + keys::UploadOptions::RemotePattern.name() +
                                    "=" + s.remotePattern + " gives no usable file name");
            ftp.Quit();
            HangUpStep(s);
            return Finish(0);
        }
        PostStatus("Uploading image as " + name + "...");
        if (!StoreDatedRemoteCopy(s, picture, name))
            return FailCycle(s, "FTP Error: (Dated copy) ", QuitCommand::Send);
    }

    if (QuitRequested())
        return Outcome::Quit;
    PostStatus("Closing FTP Session...");
    ftp.Quit();
    HangUpStep(s);
    if (QuitRequested())
        return Outcome::Quit;
    return Finish(1);
}

namespace {

// Where a target is, for the status texts: the server, or the host of the address.
std::string TargetPlace(TargetKind kind, const TargetSettings& t)
{
    if (kind == TargetKind::Sftp)
        return t.server;
    const std::string& url = kind == TargetKind::WebDav ? t.url : t.endpoint;
    const auto start = url.find("://");
    const std::string rest = start == std::string::npos ? url : url.substr(start + 3);
    const std::string host = rest.substr(0, rest.find('/'));
    return kind == TargetKind::S3 && !t.bucket.empty() ? t.bucket + " at " + host : host;
}

} // namespace

UploadThread::Outcome UploadThread::FailTarget(const UploadSettings& s, const std::string& prefix)
{
    if (QuitRequested())
        return Outcome::Quit; // the step failed because it was cancelled
    m_record.SetLastCapture(prefix + m_target->Message());
    m_target.reset();
    HangUpStep(s);
    return Finish(0);
}

UploadThread::Outcome UploadThread::RunTargetCycle(const UploadSettings& s, TargetKind kind,
                                                   const std::string& picture)
{
    const std::string label = TargetLabel(kind);
    const std::string error = label + " Error: ";
    TargetSettings t = s.target;
    t.kind = kind;
    t.timeoutSeconds = s.ftp.timeout;
    t.cancelled = [this] { return QuitPending(); };
    const std::string place = TargetPlace(kind, t);
    PostStatus("Connecting to " + place + "...");
    if (QuitRequested())
        return Outcome::Quit;

    std::string why;
    m_target = m_targets ? m_targets(t, &why) : MakeTargetSession(t, &why);
    if (!m_target) {
        m_record.SetLastCapture(error + why);
        HangUpStep(s);
        return Finish(0);
    }
    TargetSession& target = *m_target;
    PostStatus("Logging in to " + place + "...");
    if (!target.Open())
        return FailTarget(s, error);

    if (QuitRequested())
        return Outcome::Quit;
    const ArchiveSettings archive{s.archiveInterval, s.numberOfArchives, s.archiveOrder,
                                  s.deleteBeforeMove};
    if (ArchiveDue(archive, m_record.CurrentUpload())) {
        m_record.SetCurrentUpload(0);
        PostStatus("Archiving images...");
        if (!RotateRemoteArchive(archive, s.ftpFilename, target))
            return FailTarget(s, error);
    }

    if (QuitRequested())
        return Outcome::Quit;
    PostStatus("Uploading image as " + s.ftpFilename + "...");
    // A PUT to S3 is whole by itself: no reader ever sees half an object.
    const bool direct = s.noTempFile || kind == TargetKind::S3;
    const std::string tempName = RemoteTempName(s.ftpFilename);
    if (!target.Store(picture, direct ? s.ftpFilename : tempName))
        return FailTarget(s, error + "(Upload) ");
    if (!direct) {
        if (s.deleteBeforeMove && !target.DeleteFile(s.ftpFilename))
            return FailTarget(s, label + " Delete: ");
        if (!target.Rename(tempName, s.ftpFilename))
            return FailTarget(s, error);
    }

    if (QuitRequested())
        return Outcome::Quit;
    PostStatus("Closing " + label + " Session...");
    m_target.reset();
    HangUpStep(s);
    if (QuitRequested())
        return Outcome::Quit;
    return Finish(1);
}

void UploadThread::RunAfterPublish(const UploadSettings& s, int result)
{
    const std::string& name = keys::UploadOptions::AfterPublish.name();
    std::vector<std::string> words;
    std::string why;
    if (!SplitCommandWords(s.afterPublish, &words, &why)) {
        PostStatus("After publish: " + name + " cannot be read: " + why);
        return;
    }
    if (words.empty())
        return;
    const std::string program = words.front();
    PostStatus("Running " + program + "...");
    const CommandResult r = RunCommand(words,
                                       {{"VISTREL_PICTURE", m_strPicture},
                                        {"VISTREL_RESULT", result == 1 ? "ok" : "failed"},
                                        {"VISTREL_MESSAGE", m_record.LastCapture()}},
                                       s.afterPublishTimeout, [this] { return QuitPending(); });
    std::size_t start = 0;
    while (start < r.output.size()) {
        auto end = r.output.find('\n', start);
        if (end == std::string::npos)
            end = r.output.size();
        std::string line = r.output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            PostStatus(program + ": " + line);
        start = end + 1;
    }
    if (const std::string end = DescribeCommandEnd(program, r, s.afterPublishTimeout); !end.empty())
        PostStatus("After publish: " + end);
}

} // namespace vistrel
