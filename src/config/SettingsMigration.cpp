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

void writeCurrentVersion()
{
    IniWriteInt(section::kLicense, "INIVersion", kCurrentIniVersion);
}

// Runs the sheet; on OK records the current layout. Then the window is redrawn.
void runSheetForFirstStart(SettingsMigrationHost& host)
{
    if (host.RunSettingsSheet())
        writeCurrentVersion();
    host.Redraw();
}

// Version 1000 stored passwords with an older scrambling; re-store them in the current form.
std::string migrateLegacyPassword(std::string_view sectionName, std::string_view key)
{
    const std::string clear = UnscrambleLegacyPassword(IniReadString(sectionName, key, ""));
    IniWritePassword(sectionName, key, clear);
    return clear;
}

} // namespace

void CheckSettingsVersion(LiveSettings& settings, SettingsMigrationHost& host, Prompter& prompter)
{
    const auto version = static_cast<unsigned>(IniReadInt(section::kLicense, "INIVersion", 0));
    if (version < 1000) {
        host.OpenHelpTopic(kFirstStartHelpTopic);
        runSheetForFirstStart(host);
    } else if (version == 1000) {
        // That layout had only the three bottom positions 0..2.
        settings.m_nTimeAlignment = IniReadInt(section::kImageOptions, "TimeAlignment", 1) + 3;
        IniWriteInt(section::kImageOptions, "TimeAlignment", settings.m_nTimeAlignment);
        settings.m_strPassword = migrateLegacyPassword(section::kConnectOptions, "Password");
        settings.m_strFTPPassword = migrateLegacyPassword(section::kUploadOptions, "FTPPassword");
        writeCurrentVersion();
    } else if (version <= 1004) {
        // A negative value would index no layout at all; keep it within the six layouts.
        settings.m_nDateTimeFormat =
            std::clamp(IniReadInt(section::kImageOptions, "TwelveHourTime", 0), 0, 5);
        IniWriteInt(section::kImageOptions, "DateTimeFormat", settings.m_nDateTimeFormat);
        host.OpenHelpTopic(kFirstStartHelpTopic);
        host.RunSettingsSheet();
        writeCurrentVersion();
        host.Redraw();
    } else if (version == static_cast<unsigned>(kCurrentIniVersion)) {
        if (settings.m_nCaptureDevice == -1)
            runSheetForFirstStart(host);
    } else {
        prompter.message(kNewerVersionText, PromptIcon::Exclamation);
    }
}

bool ApplyDialUpAvailability(LiveSettings& settings, bool rasAvailable, Prompter& prompter)
{
    if (rasAvailable || settings.m_bUseLAN)
        return false;
    prompter.message(kNoDialUpText, PromptIcon::Exclamation);
    settings.m_bUseLAN = true;
    IniWriteInt(section::kConnectOptions, "UseLAN", 1);
    return true;
}

} // namespace vistrel
