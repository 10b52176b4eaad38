#include "config/SettingsMigration.h"

#include "config/KeyCatalogue.h"
#include "config/LiveSettings.h"
#include "config/PasswordScrambling.h"
#include "config/SettingsFile.h"
#include "platform/Prompter.h"

#include <algorithm>

namespace vistrel {

namespace {

const char* const kNewerVersionText =
    "VISTREL.INI configuration file is from a newer version!\nPlease install the latest version "
    "of this software or delete the configuration file and reinstall this version.";
const char* const kNoDialUpText = "Vistrel was unable to load RAS (Dialup) support.\nConnection "
                                  "will be set to LAN or other direct connection";

const char* const kSaveFailedText = "Unable to save the settings!\n";

// The writes of one check. The first that fails is reported once at the end, so that a file
// that cannot be written says so instead of the first-start questions coming back unexplained.
class Writes {
  public:
    explicit Writes(Prompter& prompter) : m_prompter(prompter) {}
    ~Writes()
    {
        if (!m_strError.empty())
            m_prompter.message(kSaveFailedText + m_strError, PromptIcon::Exclamation);
    }
    void Int(const SettingKey& key, int value) { note(WriteSetting(key, value, &m_strLast)); }
    void Password(const SettingKey& key, std::string_view clear)
    {
        note(WriteSetting(key, clear, &m_strLast));
    }
    void CurrentVersion() { Int(keys::License::INIVersion, kCurrentIniVersion); }

  private:
    void note(bool ok)
    {
        if (!ok && m_strError.empty())
            m_strError = m_strLast.empty() ? "unknown error" : m_strLast;
    }
    Prompter& m_prompter;
    std::string m_strLast;
    std::string m_strError;
};

// Runs the sheet; on OK records the current layout. Then the window is redrawn.
void runSheetForFirstStart(SettingsMigrationHost& host, Writes& writes)
{
    if (host.RunSettingsSheet())
        writes.CurrentVersion();
    host.Redraw();
}

// Version 1000 stored passwords with an older scrambling; re-store them in the current form.
std::string migrateLegacyPassword(const SettingKey& key, Writes& writes)
{
    const std::string clear = UnscrambleLegacyPassword(IniReadString(key.section, key.key, ""));
    writes.Password(key, clear);
    return clear;
}

} // namespace

void CheckSettingsVersion(LiveSettings& settings, SettingsMigrationHost& host, Prompter& prompter)
{
    Writes writes(prompter);
    const auto version = static_cast<unsigned>(ReadSettingInt(keys::License::INIVersion));
    if (version < 1000) {
        host.OpenHelpTopic(kFirstStartHelpTopic);
        runSheetForFirstStart(host, writes);
    } else if (version == 1000) {
        // That layout had only the three bottom positions 0..2.
        const SettingKey& alignment = keys::ImageOptions::TimeAlignment;
        settings.m_nTimeAlignment = IniReadInt(alignment.section, alignment.key, 1) + 3;
        writes.Int(alignment, settings.m_nTimeAlignment);
        settings.m_strPassword = migrateLegacyPassword(keys::ConnectOptions::Password, writes);
        settings.m_strFTPPassword = migrateLegacyPassword(keys::UploadOptions::FTPPassword, writes);
        writes.CurrentVersion();
    } else if (version <= 1004) {
        // A negative value would index no layout at all; keep it within the six layouts.
        settings.m_nDateTimeFormat =
            std::clamp(ReadSettingInt(keys::ImageOptions::TwelveHourTime), 0, 5);
        writes.Int(keys::ImageOptions::DateTimeFormat, settings.m_nDateTimeFormat);
        host.OpenHelpTopic(kFirstStartHelpTopic);
        host.RunSettingsSheet();
        writes.CurrentVersion();
        host.Redraw();
    } else if (version == static_cast<unsigned>(kCurrentIniVersion)) {
        if (settings.m_nCaptureDevice == -1)
            runSheetForFirstStart(host, writes);
    } else {
        prompter.message(kNewerVersionText, PromptIcon::Exclamation);
    }
}

bool ApplyDialUpAvailability(LiveSettings& settings, bool rasAvailable, Prompter& prompter)
{
    if (rasAvailable || settings.m_bUseLAN)
        return false;
    if (!SettingPresent(keys::ConnectOptions::UseLAN)) {
        // Nothing asked for dial-up (a first start without a file): the LAN, without the box.
        // The Connection page explains the missing support when it is opened.
        settings.m_bUseLAN = true;
        WriteSetting(keys::ConnectOptions::UseLAN, 1);
        return true;
    }
    prompter.message(kNoDialUpText, PromptIcon::Exclamation);
    settings.m_bUseLAN = true;
    Writes(prompter).Int(keys::ConnectOptions::UseLAN, 1);
    return true;
}

} // namespace vistrel
