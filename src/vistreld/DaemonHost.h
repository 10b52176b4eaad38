#pragma once

#include "app/Hub.h"
#include "config/SettingsMigration.h"
#include "platform/Prompter.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

namespace vistrel {

// The headless publisher's host: every status, message box and question becomes one line with a
// timestamp on a stream (stderr by default, which journald keeps). Questions are answered No.
// The settings sheet, which nobody can answer here, is accepted with the values its pages show
// for the keys the file lacks (see WriteFirstStartValues).
class DaemonHost : public Prompter, public SettingsMigrationHost {
  public:
    explicit DaemonHost(
        std::FILE* out = stderr,
        std::function<std::time_t()> clock = [] { return std::time(nullptr); });

    // One log line: "YYYY-MM-DD HH:MM:SS <kind>: <text>", line breaks of text shown as " / ".
    // For the journal, which keeps its own times, the line starts with its priority instead:
    // "<3>" for errors, "<4>" for warnings, message boxes and questions, "<6>" for the rest.
    static std::string FormatLine(std::time_t when, const std::string& kind,
                                  const std::string& text, bool journal = false);
    // Whether a stream is the journal's: JOURNAL_STREAM ("<device>:<inode>") names its file.
    static bool IsJournalStream(std::FILE* stream, const char* journalStream);
    void Log(const std::string& kind, const std::string& text);
    // A message as the log shows it: a capture error that carries the grab's reason has the
    // reason first ("No picture from host: … / Capture Error: …"); anything else as it is.
    static std::string CauseFirst(const std::string& text);
    // A failed cycle's status with the cause its failure found ("FTP Error: Unable to connect to
    // server (connection refused: nothing listens on 127.0.0.1:2199)"); anything else as it is.
    std::string WithCause(const std::string& status) const;
    // Whether the lines go to the journal (see FormatLine).
    bool Journal() const { return m_bJournal; }

    // Logs what the hub shows: its status texts ("status") and driver descriptions ("device").
    // The hub also takes the pages' re-reads after a first start.
    void Attach(Hub& hub);
    // One cycle's run (--once): its result is printed once, by the caller, so the status line
    // and the message box that carry the same text are not logged as well.
    void SetOnce(bool once) { m_bOnce = once; }
    // A one-off run without --config writes nothing to the settings file: a first start's
    // values are then this run's alone, and the log says so.
    void SetSettingsUnchanged(bool unchanged) { m_bSettingsUnchanged = unchanged; }

    // Prompter
    void message(const std::string& text, PromptIcon icon = PromptIcon::Exclamation) override;
    bool askYesNo(const std::string& question) override;
    // SettingsMigrationHost
    void OpenHelpTopic(int context) override;
    bool RunSettingsSheet() override;
    void Redraw() override;

  private:
    // Whether text is the result of the cycle that is ending (in --once mode only).
    bool isCycleResult(const std::string& text) const;
    bool isOnceResult(const std::string& text) const;

    std::FILE* m_out;
    std::function<std::time_t()> m_clock;
    bool m_bJournal = false;
    std::mutex m_mutex;
    Hub* m_pHub = nullptr;
    bool m_bOnce = false;
    bool m_bSheetAccepted = false;
    bool m_bSettingsUnchanged = false;
    std::string m_strPendingResult; // the ending cycle's result, logged once it is known
};

} // namespace vistrel
