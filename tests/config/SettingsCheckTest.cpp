// What the settings file holds that the program never reads: typos, keys in the wrong section,
// repeated sections and keys. The file itself is left alone.
#include "config/SettingsCheck.h"
#include "config/FirstStart.h"
#include "config/KeyCatalogue.h"

#include "ConfigTestSupport.h"

using namespace vistrel;
using namespace vistrel::test;

namespace {

struct ProblemCase {
    const char* ini;
    std::vector<std::string> problems;
};

} // namespace

TEST(SettingsCheck, NamesWhatIsNeverReadWithTheNearestKnownName)
{
    const ProblemCase cases[] = {
        // Known names in any letter case, comments and blank lines: nothing to say.
        {"; cam\n[uploadoptions]\nftpserver=x\n\n[ImageOptions]\r\nMessage=hi\r\n", {}},
        {"[UploadOptions]\nFTPServr=ftp.example.org\n",
         {"unknown key FTPServr in [UploadOptions] (line 2): did you mean FTPServer?"}},
        {"[UploadOption]\nFTPServer=x\nFoo=1\n",
         {"unknown section [UploadOption] (line 1): its keys are not read; did you mean "
          "[UploadOptions]?"}},
        {"[UploadOptions]\nMessage=Our street\n",
         {"unknown key Message in [UploadOptions] (line 2): did you mean Message in "
          "[ImageOptions]?"}},
        {"[ImageOptions]\nFontColour=255\nZzz=1\n",
         {"unknown key FontColour in [ImageOptions] (line 2): did you mean FontColor?",
          "unknown key Zzz in [ImageOptions] (line 3): it is not used"}},
        {"[Webcam]\nX=1\n", {"unknown section [Webcam] (line 1): its keys are not read"}},
        {"FTPServer=x\n[Options]\n",
         {"key FTPServer before the first section (line 1) is not read"}},
        {"[Options]\nErrorLog=1\nerrorlog=0\n",
         {"errorlog comes again in [Options] (line 3): the first one (line 2) is used"}},
        {"[Options]\nErrorLog=1\n[Install]\n[options]\nErrorLog=0\nTypo=1\n",
         {"section [options] comes again (line 4): its keys are not read, the first [options] "
          "(line 1) is used"}},
        // A byte order mark does not hide the first section.
        {"\xEF\xBB\xBF[License]\nINIVersion=1005\n", {}},
    };
    for (const ProblemCase& c : cases)
        EXPECT_EQ(FindSettingsProblems(c.ini), c.problems) << c.ini;
}

TEST(SettingsCheck, NearestNameIsOnlyALikelyTypo)
{
    const std::vector<std::string_view> keys = {"FTPServer", "FTPPort", "FTPUsername"};
    EXPECT_EQ(NearestName("ftpsrever", keys), "FTPServer"); // two letters swapped
    EXPECT_EQ(NearestName("FTPPrt", keys), "FTPPort");
    EXPECT_EQ(NearestName("Password", keys), "");
    EXPECT_EQ(NearestName("X", keys), "");
}

class FirstStart : public SettingsFileTest {};

TEST_F(FirstStart, WritesWhatThePagesShowForMissingKeysOnly)
{
    setContent("[ImageOptions]\nFontColor=255\n; kept\n[UploadOptions]\nFTPServer=ftp.example.org\n"
               "Mystery=1\n");
    const FirstStartWrites w = WriteFirstStartValues();
    EXPECT_EQ(w.error, "");
    EXPECT_FALSE(w.uploadKeptOff);
    // A key the file has keeps its value; unknown keys and comments stay.
    EXPECT_EQ(IniReadInt("ImageOptions", "FontColor", -1), 255);
    EXPECT_NE(content().find("Mystery=1"), std::string::npos);
    EXPECT_NE(content().find("; kept"), std::string::npos);
    // The stamp as the Image page shows it: white with a shadow.
    EXPECT_EQ(IniReadInt("ImageOptions", "TimeFontColor", -1), 16777215);
    EXPECT_EQ(IniReadInt("ImageOptions", "TimeShadowText", -1), 1);
    EXPECT_EQ(IniReadInt("UploadOptions", "FTPUpload", -1), 1);
    EXPECT_EQ(IniReadInt("UploadOptions", "SaveAsFile", -1), 0);
    // The port as the Location page shows it; no page writes the version marker (the version
    // check writes that).
    EXPECT_EQ(IniReadString("UploadOptions", "FTPPort", "none"), "21");
    EXPECT_EQ(IniReadString("License", "INIVersion", "none"), "none");

    // Every key a page writes is now in the file with its page's value or the file's own.
    for (const PageValue& v : PageValuesForMissingKeys()) {
        if (v.section == "ImageOptions" && v.key == "FontColor")
            continue;
        const SettingKey* k = FindSettingKey(v.section, v.key);
        ASSERT_NE(k, nullptr);
        const std::string stored = k->type == SettingType::Password
                                       ? IniReadPassword(v.section, v.key)
                                       : IniReadString(v.section, v.key, "missing");
        EXPECT_EQ(stored, v.key == "FTPServer" ? "ftp.example.org" : v.value) << v.key;
    }
    // A second run finds nothing missing.
    EXPECT_TRUE(WriteFirstStartValues().written.empty());
}

TEST_F(FirstStart, WithoutAServerTheUploadStaysOffAndTheLocalCopyOn)
{
    const FirstStartWrites w = WriteFirstStartValues();
    EXPECT_TRUE(w.uploadKeptOff);
    EXPECT_EQ(IniReadInt("UploadOptions", "FTPUpload", -1), 0);
    EXPECT_EQ(IniReadInt("UploadOptions", "SaveAsFile", -1), 1);
    std::vector<std::string> changed;
    for (const PageValue& v : w.changed)
        changed.push_back(std::string(v.section) + "/" + std::string(v.key) + "=" + v.value);
    EXPECT_EQ(changed,
              (std::vector<std::string>{
                  "Options/ViewDisplaysLastUploadImage=0", "UploadOptions/FireWallType=3",
                  "UploadOptions/SuppressErrors=0", "ImageOptions/FontColor=16777215",
                  "ImageOptions/TimeFontColor=16777215", "ImageOptions/ProgressiveJPG=1"}));
}

TEST_F(FirstStart, AFileThatCannotBeWrittenSaysSo)
{
    // A folder that is not there (root may write any file, but not into nothing).
    SetSettingsFilePathForTesting(m_dir.file("gone/vistrel.ini"));
    const FirstStartWrites w = WriteFirstStartValues();
    EXPECT_NE(w.error, "");
    EXPECT_TRUE(w.written.empty());
}
