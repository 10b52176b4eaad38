#pragma once

namespace vistrel {

class Prompter;
struct LiveSettings;

// The settings layout this version writes (License/INIVersion).
inline constexpr int kCurrentIniVersion = 1005;
// Help topic shown on a first start.
inline constexpr int kFirstStartHelpTopic = 80;

// What the version check needs from the program around it; the desktop program opens its help
// window and settings sheet, the headless publisher logs and answers Cancel.
class SettingsMigrationHost {
  public:
    virtual ~SettingsMigrationHost() = default;
    virtual void OpenHelpTopic(int context) = 0;
    // Runs the settings sheet modally; true when it ended with OK.
    virtual bool RunSettingsSheet() = 0;
    // Redraws the main window.
    virtual void Redraw() = 0;
};

// The start-up check of the settings file's layout version, run once after the main window and
// the capture device are up. By License/INIVersion, compared unsigned (missing = 0):
//  - below 1000 (a first start): help topic 80, then the settings sheet; INIVersion becomes 1005
//    only when the sheet ends with OK; then a redraw.
//  - 1000: TimeAlignment moves to the bottom row (+3, missing = 1) and the two passwords of that
//    layout (ConnectOptions/Password, UploadOptions/FTPPassword) are re-stored in the current
//    form; both kept live too; INIVersion becomes 1005.
//  - 1001..1004: DateTimeFormat takes TwelveHourTime (missing = 0, kept within 0..5), live and
//    in the file; help topic 80 and the settings sheet; INIVersion becomes 1005 whatever the
//    sheet's result; a redraw.
//  - 1005: when no capture device is chosen (CaptureDevice -1), the settings sheet (and, on OK,
//    INIVersion 1005 and a redraw as for a first start).
//  - above 1005: a message that the file is from a newer version; nothing changes.
// settings is the live copy after its full load (its CaptureDevice decides the 1005 case); the
// values the migration changes are updated in it too.
void CheckSettingsVersion(LiveSettings& settings, SettingsMigrationHost& host, Prompter& prompter);

// The start-up step for a machine without dial-up support: when rasAvailable is false and
// ConnectOptions/UseLAN is off, switches UseLAN on in the live copy and in the file (so the
// message does not come again). It says so only when the file asked for dial-up (UseLAN=0
// stored); without the key the switch is silent. Returns whether it switched.
bool ApplyDialUpAvailability(LiveSettings& settings, bool rasAvailable, Prompter& prompter);

} // namespace vistrel
