#include "vistreld/DaemonHost.h"

#include "config/FirstStart.h"
#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "imaging/ComposeAndSave.h"

#include <cstdlib>
#include <sys/stat.h>

namespace vistrel {

DaemonHost::DaemonHost(std::FILE* out, std::function<std::time_t()> clock)
    : m_out(out), m_clock(std::move(clock)),
      m_bJournal(IsJournalStream(out, ::secure_getenv("JOURNAL_STREAM")))
{
}

bool DaemonHost::IsJournalStream(std::FILE* stream, const char* journalStream)
{
    if (!stream || !journalStream || !*journalStream)
        return false;
    unsigned long long device = 0, inode = 0;
    char rest = 0;
    if (std::sscanf(journalStream, "%llu:%llu%c", &device, &inode, &rest) != 2)
        return false;
    struct stat st {};
    if (::fstat(::fileno(stream), &st) != 0)
        return false;
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
}

std::string DaemonHost::FormatLine(std::time_t when, const std::string& kind,
                                   const std::string& text, bool journal)
{
    std::string line;
    if (journal) {
        const bool warning = kind == "warning" || kind == "message" || kind == "question";
        line = std::string(kind == "error" ? "<3>" : warning ? "<4>" : "<6>") + kind + ": ";
    } else {
        std::tm local{};
        localtime_r(&when, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        line = std::string(stamp) + " " + kind + ": ";
    }
    // One entry, one line: FTP replies end in a line feed, some texts hold several lines.
    std::string body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
        body.pop_back();
    for (char c : body) {
        if (c == '\n')
            line += " / ";
        else if (c != '\r')
            line += c;
    }
    return line + "\n";
}

void DaemonHost::Log(const std::string& kind, const std::string& text)
{
    const std::string line = FormatLine(m_clock(), kind, text, m_bJournal);
    std::lock_guard lock(m_mutex);
    std::fputs(line.c_str(), m_out);
    std::fflush(m_out);
}

void DaemonHost::Attach(Hub& hub)
{
    m_pHub = &hub;
    QObject::connect(&hub, &Hub::statusChanged, &hub, [this](const QString& text) {
        // A cycle's result waits for the end of the cycle, which says whether it failed: a
        // failure is an error in the log (and the journal's priority), not a status.
        if (isCycleResult(text.toStdString())) {
            if (!m_bOnce)
                m_strPendingResult = WithCause(CauseFirst(text.toStdString()));
            return;
        }
        Log("status", WithCause(CauseFirst(text.toStdString())));
    });
    QObject::connect(&hub, &Hub::cycleDone, &hub, [this](int result, const QString&) {
        if (m_strPendingResult.empty())
            return;
        Log(result ? "status" : "error", std::exchange(m_strPendingResult, {}));
    });
    QObject::connect(&hub, &Hub::driverInfoChanged, &hub,
                     [this](const QString& text) { Log("device", text.toStdString()); });
}

bool DaemonHost::isCycleResult(const std::string& text) const
{
    return m_pHub && m_pHub->CycleRunning() &&
           text == StatusText(m_pHub->LastCapture(), m_pHub->AutoCaptureDisabled());
}

bool DaemonHost::isOnceResult(const std::string& text) const
{
    return m_bOnce && isCycleResult(text);
}

bool DaemonHost::askYesNo(const std::string& question)
{
    Log("question", question + " (answered No: no one is there to answer)");
    return false;
}

void DaemonHost::message(const std::string& text, PromptIcon icon)
{
    // The one cycle's failure, which --once prints as its result; the hub reports it once the
    // cycle has ended.
    if (isOnceResult(text) ||
        (m_bOnce && m_pHub && !m_pHub->CycleRunning() && text == m_pHub->LastCapture()))
        return;
    Log(icon == PromptIcon::Stop ? "error" : "message", CauseFirst(text));
}

std::string DaemonHost::WithCause(const std::string& status) const
{
    // A failed cycle's status keeps the words the window shows; the log has room for why.
    if (!m_pHub || !m_pHub->CycleRunning())
        return status;
    const std::string cause = m_pHub->LastCause();
    if (cause.empty() || status != StatusText(m_pHub->LastCapture(), m_pHub->AutoCaptureDisabled()))
        return status;
    return status + " (" + cause + ")";
}

std::string DaemonHost::CauseFirst(const std::string& text)
{
    // The desktop program's capture error comes with the grab's reason on the line after it; a
    // log reader wants the reason first.
    const std::string general = kCaptureSaveFailedText;
    if (text.size() <= general.size() + 1 || text.compare(0, general.size(), general) != 0 ||
        text[general.size()] != '\n')
        return text;
    return text.substr(general.size() + 1) + "\n" + general;
}

void DaemonHost::OpenHelpTopic(int context)
{
    if (context == kFirstStartHelpTopic)
        Log("settings", "first start: every key of the settings file is described in "
                        "vistrel.ini(5) (man vistrel.ini)");
}

bool DaemonHost::RunSettingsSheet()
{
    const FirstStartWrites w = WriteFirstStartValues();
    if (!w.error.empty()) {
        Log("error",
            "first start: the values of the settings pages could not be written: " + w.error);
        return false;
    }
    m_bSheetAccepted = true;
    if (w.written.empty()) // the file has every key the pages show: nothing to say
        return true;
    std::string changed;
    for (const PageValue& v : w.changed)
        changed += (changed.empty() ? "" : ", ") + std::string(v.section) + "/" +
                   std::string(v.key) + "=" + v.value;
    Log("settings",
        "first start: nobody can answer the settings sheet here, so the values its pages show "
        "were " +
            std::string(m_bSettingsUnchanged ? "taken for this run (the file is left as it is)"
                                             : "written") +
            " for the " + std::to_string(w.written.size()) + " keys the file lacked" +
            (changed.empty() ? "" : "; those that change what the program does: " + changed));
    if (w.uploadKeptOff)
        Log("settings", "first start: no FTP server is set, so FTP upload stays off and the "
                        "local copy on (" +
                            keys::UploadOptions::FTPUpload.name() + "=0, " +
                            std::string(keys::UploadOptions::SaveAsFile.key) + "=1)");
    // The pages' re-reads. The Capture and Device pages show the program's own values for
    // missing keys, so re-reading them would change nothing (and re-arm the timer before its
    // time).
    if (m_pHub) {
        for (ReloadGroup page : {ReloadGroup::Image, ReloadGroup::Location, ReloadGroup::Connection,
                                 ReloadGroup::General})
            m_pHub->ApplySettingsPage(page);
    }
    return true;
}

void DaemonHost::Redraw()
{
    // Called after the version check has recorded an accepted sheet.
    if (std::exchange(m_bSheetAccepted, false) && !m_bSettingsUnchanged)
        Log("settings", keys::License::INIVersion.name() + "=" +
                            std::to_string(ReadSettingInt(keys::License::INIVersion)) +
                            " set; the next start uses the file as it is");
}

} // namespace vistrel
