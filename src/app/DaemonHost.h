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
// timestamp on a stream (stderr by default, which journald keeps). Questions are answered No;
// the settings sheet, which needs a display, is answered Cancel.
class DaemonHost : public Prompter, public SettingsMigrationHost {
  public:
    explicit DaemonHost(
        std::FILE* out = stderr,
        std::function<std::time_t()> clock = [] { return std::time(nullptr); });

    // One log line: "YYYY-MM-DD HH:MM:SS <kind>: <text>", line breaks of text shown as " / ".
    static std::string FormatLine(std::time_t when, const std::string& kind,
                                  const std::string& text);
    void Log(const std::string& kind, const std::string& text);

    // Logs what the hub shows: its status texts ("status") and driver descriptions ("device").
    void Attach(Hub& hub);

    // Prompter
    void message(const std::string& text, PromptIcon icon = PromptIcon::Exclamation) override;
    bool askYesNo(const std::string& question) override;
    // SettingsMigrationHost
    void OpenHelpTopic(int context) override;
    bool RunSettingsSheet() override;
    void Redraw() override {}

  private:
    std::FILE* m_out;
    std::function<std::time_t()> m_clock;
    std::mutex m_mutex;
};

} // namespace vistrel
