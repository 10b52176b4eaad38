#include "config/SettingsMigration.h"
#include "config/LiveSettings.h"
#include "config/PasswordScrambling.h"
#include "platform/AutoResetEvent.h"

#include "ConfigTestSupport.h"
#include "RecordingPrompter.h"

#include <gtest/gtest.h>

#include <functional>

using namespace vistrel;

namespace {

const char* const kNewerVersion =
    "VISTREL.INI configuration file is from a newer version!\nPlease install the latest version "
    "of this software or delete the configuration file and reinstall this version.";
const char* const kNoDialUp = "Vistrel was unable to load RAS (Dialup) support.\nConnection will "
                              "be set to LAN or other direct connection";

// Records what the version check asked of the program, in order.
class FakeHost : public SettingsMigrationHost {
  public:
    void OpenHelpTopic(int context) override { calls.push_back("help " + std::to_string(context)); }
    bool RunSettingsSheet() override
    {
        calls.push_back("sheet");
        if (onSheet)
            onSheet();
        return sheetResult;
    }
    void Redraw() override { calls.push_back("redraw"); }

    std::vector<std::string> calls;
    bool sheetResult = false;
    std::function<void()> onSheet;
};

// A text the version-1000 layout would have stored for clear: found by trying every stored
// character against the legacy reading, position by position.
std::string legacyStored(const std::string& clear)
{
    std::string stored;
    for (std::size_t i = 0; i < clear.size(); ++i) {
        const std::size_t k = i % (kPasswordKey.size() + 1);
        const char filler = k < kPasswordKey.size() ? kPasswordKey[k] : 'x';
        bool found = false;
        for (int o = 33; o <= 126 && !found; ++o) {
            // Decode a probe that puts o at key position k.
            std::string probe;
            for (std::size_t j = 0; j < k; ++j)
                probe += "\"";
            probe += static_cast<char>(o);
            if (o & 1)
                probe += filler;
            if (UnscrambleLegacyPassword(probe).back() == clear[i]) {
                stored += probe.substr(k);
                found = true;
            }
        }
        EXPECT_TRUE(found) << "no stored form for " << clear[i];
    }
    return stored;
}

class SettingsMigration : public test::SettingsFileTest {
  protected:
    // Loads the live copy as start-up does, then runs the check.
    void runCheck()
    {
        AutoResetEvent idle(true);
        live.LoadAll(idle);
        CheckSettingsVersion(live, host, prompter);
    }

    LiveSettings live;
    FakeHost host;
    test::RecordingPrompter prompter;
};

} // namespace

TEST_F(SettingsMigration, FirstStartShowsHelpAndSheetAndRecordsVersionOnlyOnOk)
{
    runCheck();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"help 80", "sheet", "redraw"}));
    EXPECT_FALSE(test::fileExists(path())); // cancelled: nothing written, so next start again
    host.calls.clear();
    runCheck();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"help 80", "sheet", "redraw"}));

    host.calls.clear();
    host.sheetResult = true;
    runCheck();
    EXPECT_EQ(IniReadInt("License", "INIVersion", 0), 1005);
    host.calls.clear();
    runCheck();
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(prompter.texts().empty());
}

TEST_F(SettingsMigration, Version1000MovesTimeAlignmentAndRestoresPasswords)
{
    const std::string ftpLegacy = legacyStored("ftp-secret42");
    const std::string dialLegacy = legacyStored("dial:pass");
    ASSERT_EQ(UnscrambleLegacyPassword(ftpLegacy), "ftp-secret42");
    setContent("[License]\nINIVersion=1000\n[ImageOptions]\nTimeAlignment=1\n"
               "[UploadOptions]\nFTPPassword=" +
               ftpLegacy + "\n[ConnectOptions]\nPassword=" + dialLegacy + "\n");
    runCheck();
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(IniReadInt("ImageOptions", "TimeAlignment", 0), 4);
    EXPECT_EQ(live.m_nTimeAlignment, 4);
    EXPECT_EQ(IniReadString("UploadOptions", "FTPPassword", ""), ScramblePassword("ftp-secret42"));
    EXPECT_EQ(IniReadString("ConnectOptions", "Password", ""), ScramblePassword("dial:pass"));
    EXPECT_EQ(live.m_strFTPPassword, "ftp-secret42");
    EXPECT_EQ(live.m_strPassword, "dial:pass");
    EXPECT_EQ(IniReadInt("License", "INIVersion", 0), 1005);

    // A second start changes nothing.
    const std::string after = content();
    runCheck();
    EXPECT_EQ(content(), after);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(SettingsMigration, Version1000WithoutTimeAlignmentTakesTheMiddleBottom)
{
    setContent("[License]\nINIVersion=1000\n");
    runCheck();
    EXPECT_EQ(IniReadInt("ImageOptions", "TimeAlignment", 0), 4);
    EXPECT_EQ(IniReadString("UploadOptions", "FTPPassword", "missing"), "");
}

TEST_F(SettingsMigration, Versions1001To1004TakeTheTimeLayoutEvenWhenTheSheetIsCancelled)
{
    for (const auto& [twelve, expected] : {std::pair{"1", 1}, {"9", 5}, {"-3", 0}, {"", 0}}) {
        setContent(std::string("[License]\nINIVersion=1003\n[ImageOptions]\nTwelveHourTime=") +
                   twelve + "\n");
        host.calls.clear();
        runCheck();
        EXPECT_EQ(IniReadInt("ImageOptions", "DateTimeFormat", -1), expected) << twelve;
        EXPECT_EQ(live.m_nDateTimeFormat, expected);
        EXPECT_EQ(IniReadInt("License", "INIVersion", 0), 1005);
        EXPECT_EQ(host.calls, (std::vector<std::string>{"help 80", "sheet", "redraw"}));
    }
}

TEST_F(SettingsMigration, CurrentVersionOpensTheSheetOnlyWithoutACaptureDevice)
{
    setContent("[License]\nINIVersion=1005\n[ImageFormat]\nCaptureDevice=0\n");
    runCheck();
    EXPECT_TRUE(host.calls.empty());

    setContent("[License]\nINIVersion=1005\n[ImageFormat]\nCaptureDevice=-1\n");
    host.onSheet = [] { IniWriteInt("ImageFormat", "CaptureDevice", 0); };
    runCheck();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"sheet", "redraw"}));
}

TEST_F(SettingsMigration, NewerFileIsReportedAndLeftAlone)
{
    for (const char* version : {"1006", "-1"}) { // compared unsigned: -1 is "newer" too
        const std::string file = std::string("[License]\nINIVersion=") + version + "\n";
        setContent(file);
        prompter.clear();
        runCheck();
        ASSERT_EQ(prompter.texts(), std::vector<std::string>{kNewerVersion});
        EXPECT_EQ(prompter.shown()[0].icon, PromptIcon::Exclamation);
        EXPECT_EQ(content(), file);
        EXPECT_TRUE(host.calls.empty());
    }
}

TEST_F(SettingsMigration, MissingDialUpSwitchesToLanOnce)
{
    // A file without the key (a first start) goes to the LAN without a word.
    LiveSettings fresh;
    EXPECT_TRUE(ApplyDialUpAvailability(fresh, false, prompter));
    EXPECT_TRUE(prompter.texts().empty());
    EXPECT_TRUE(fresh.m_bUseLAN);
    EXPECT_EQ(IniReadInt("ConnectOptions", "UseLAN", 0), 1);

    // A file that asks for dial-up is told why it gets the LAN.
    IniWriteInt("ConnectOptions", "UseLAN", 0);
    LiveSettings s;
    EXPECT_TRUE(ApplyDialUpAvailability(s, false, prompter));
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{kNoDialUp});
    EXPECT_TRUE(s.m_bUseLAN);
    EXPECT_EQ(IniReadInt("ConnectOptions", "UseLAN", 0), 1);

    // The next start finds UseLAN on and says nothing.
    LiveSettings next;
    next.LoadConnection();
    EXPECT_FALSE(ApplyDialUpAvailability(next, false, prompter));
    EXPECT_EQ(prompter.texts().size(), 1u);

    // With dial-up support nothing changes.
    LiveSettings dialling;
    IniWriteInt("ConnectOptions", "UseLAN", 0);
    EXPECT_FALSE(ApplyDialUpAvailability(dialling, true, prompter));
    EXPECT_FALSE(dialling.m_bUseLAN);
    EXPECT_EQ(IniReadInt("ConnectOptions", "UseLAN", 1), 0);
}

TEST_F(SettingsMigration, AFileThatCannotBeWrittenIsReportedOnce)
{
    // The settings file's folder is gone: every write fails, and the first start says why once
    // instead of coming back silently at every start.
    SetSettingsFilePathForTesting(m_dir.file("gone/vistrel.ini"));
    host.sheetResult = true;
    runCheck();
    ASSERT_EQ(prompter.texts().size(), 1u);
    EXPECT_EQ(prompter.texts()[0], "Unable to save the settings!\nCannot open " +
                                       m_dir.file("gone/vistrel.ini") +
                                       ": No such file or directory");

    // Without a file nothing asked for dial-up: the LAN, silently, though it cannot be stored.
    prompter.clear();
    LiveSettings s;
    EXPECT_TRUE(ApplyDialUpAvailability(s, false, prompter));
    EXPECT_TRUE(s.m_bUseLAN);
    EXPECT_TRUE(prompter.texts().empty());
}
