// The key table as a whole: each row agrees with itself, every type's doubtful values are named
// with what they mean now, and a security value that cannot be used refuses instead of falling
// back.
#include "ConfigTestSupport.h"
#include "config/FirstStart.h"
#include "config/KeyCatalogue.h"
#include "config/LiveSettings.h"
#include "config/SettingValues.h"

#include <gtest/gtest.h>

#include <set>

using namespace vistrel;
using namespace vistrel::test;

namespace {

using KeyTable = SettingsFileTest;

// The live member's kind each type loads into.
LiveMember::Kind memberKindFor(SettingType type)
{
    switch (type) {
    case SettingType::Flag:
        return LiveMember::Kind::Flag;
    case SettingType::Integer:
    case SettingType::Choice:
        return LiveMember::Kind::Integer;
    case SettingType::Colour:
        return LiveMember::Kind::Colour;
    default:
        return LiveMember::Kind::Text;
    }
}

ReloadGroup groupOf(SettingsPage page)
{
    switch (page) {
    case SettingsPage::Device:
        return ReloadGroup::Device;
    case SettingsPage::Image:
        return ReloadGroup::Image;
    case SettingsPage::Capture:
        return ReloadGroup::Capture;
    case SettingsPage::Location:
        return ReloadGroup::Location;
    case SettingsPage::Connection:
        return ReloadGroup::Connection;
    case SettingsPage::General:
        return ReloadGroup::General;
    case SettingsPage::None:
        break;
    }
    return ReloadGroup::None;
}

} // namespace

TEST(KeyTableRows, EveryRowAgreesWithItself)
{
    std::set<std::ptrdiff_t> members; // offsets in the live settings
    for (const SettingKey& k : SettingKeys()) {
        SCOPED_TRACE(k.name());
        // Its own defaults are values it accepts.
        EXPECT_EQ(CheckSettingValue(k, k.programDefault), std::nullopt);
        if (k.pageDefault) {
            EXPECT_EQ(CheckSettingValue(k, k.pageDefault), std::nullopt);
        }
        // A page that writes a key shows a value for it and re-reads it with its own group.
        if (k.page != SettingsPage::None) {
            EXPECT_NE(k.pageDefault, nullptr);
            EXPECT_EQ(k.group, groupOf(k.page));
        }
        // A key that a group re-reads lands in a member of its type, no two keys in one.
        if (k.group != ReloadGroup::None) {
            EXPECT_NE(k.member.kind, LiveMember::Kind::None);
        }
        if (k.member.kind != LiveMember::Kind::None) {
            EXPECT_EQ(k.member.kind, memberKindFor(k.type));
            const LiveSettings probe;
            const void* at = nullptr;
            switch (k.member.kind) {
            case LiveMember::Kind::Flag:
                at = &(probe.*k.member.flag);
                break;
            case LiveMember::Kind::Integer:
                at = &(probe.*k.member.integer);
                break;
            case LiveMember::Kind::Colour:
                at = &(probe.*k.member.colour);
                break;
            case LiveMember::Kind::Text:
                at = &(probe.*k.member.text);
                break;
            case LiveMember::Kind::None:
                break;
            }
            EXPECT_TRUE(members
                            .insert(reinterpret_cast<const char*>(at) -
                                    reinterpret_cast<const char*>(&probe))
                            .second);
        }
        if (k.type == SettingType::Choice) {
            EXPECT_FALSE(k.choices.empty());
        }
    }
}

TEST(KeyTableRows, EveryTypesDoubtfulValuesAreNamed)
{
    namespace u = keys::UploadOptions;
    namespace i = keys::ImageOptions;
    const std::string longFace(40, 'F');
    struct Case {
        const SettingKey& key;
        std::string value;
        std::string warning; // empty: the value reads as its type says
    };
    const Case cases[] = {
        // Flags: numbers are fine (non-zero counts as set); words are read as 0.
        {u::FTPUpload, "yes",
         "UploadOptions/FTPUpload=yes is not a number: read as 0 (upload off); "
         "use 1 or 0"},
        {u::PassiveMode, "true",
         "UploadOptions/PassiveMode=true is not a number: read as 0 "
         "(active mode); use 1 or 0"},
        {u::UseFireWall, "",
         "UploadOptions/UseFireWall= is not a number: read as 0 (off); use 1 "
         "or 0"},
        {u::FTPUpload, "2", ""},
        {u::FTPUpload, " 1 ", ""},
        // Integers: a word gives the default, trailing text is dropped, the range is told.
        {u::UploadInterval, "five",
         "UploadOptions/UploadInterval=five is not a number: read as 0; "
         "use 0 or more"},
        {i::Quality, "-5", "ImageOptions/Quality=-5: below 1, read as -5; use 1 to 100"},
        {i::Quality, "150", "ImageOptions/Quality=150: above 100, read as 150; use 1 to 100"},
        {i::Quality, "80 %", "ImageOptions/Quality=80 % is not a number: read as 80; use 1 to 100"},
        {i::Quality, "+80", ""},
        {u::UploadTimeRangeStartHour, "24",
         "UploadOptions/UploadTimeRangeStartHour=24: above 23, read as 24; use 0 to 23"},
        {i::FontHeight, "-40", ""},
        {keys::License::INIVersion, "x",
         "License/INIVersion=x is not a number: read as 0; use a "
         "whole number"},
        // Choices: a number that is not listed is read as it is, and the list is told.
        {u::UploadIntervalMeasure, "7",
         "UploadOptions/UploadIntervalMeasure=7: not one of its choices, read as 7; use 0 "
         "(seconds), 1 (minutes) or 2 (hours)"},
        {u::ArchiveOrder, "last",
         "UploadOptions/ArchiveOrder=last is not a number: read as 0 "
         "(first); use 0 (first) or 1 (last)"},
        // Colours.
        {i::FontColor, "16777216",
         "ImageOptions/FontColor=16777216: above 16777215, read as 16777216; use 0 (black) to "
         "16777215 "
         "(white), blue * 65536 + green * 256 + red"},
        {i::FontColor, "white",
         "ImageOptions/FontColor=white is not a number: read as 0; use 0 (black) to 16777215 "
         "(white), blue * 65536 + green * 256 + red"},
        // Font faces are cut; other texts, paths and passwords are taken as written.
        {i::Font, longFace,
         "ImageOptions/Font=" + longFace + ": longer than 31 characters, read as its first 31"},
        {i::Font, "DejaVu Sans", ""},
        {i::Message, "yes", ""},
        {keys::Options::SoundFile, "", ""},
        {u::FTPPassword, "#!@", ""},
        // Security: no fallback, whatever the kind of fault.
        {u::FTPSecurity, "TLS",
         "UploadOptions/FTPSecurity=TLS is not a number: FTP log-ons are "
         "refused until it is corrected; use 0 (plain FTP), 1 (explicit "
         "TLS) or 2 (implicit TLS)"},
        {u::FTPSecurity, "3",
         "UploadOptions/FTPSecurity=3: not one of its choices, FTP log-ons "
         "are refused until it is corrected; use 0 (plain FTP), 1 (explicit "
         "TLS) or 2 (implicit TLS)"},
        {u::FTPSecurity, "2", ""},
        {u::FTPVerifyCertificate, "no",
         "UploadOptions/FTPVerifyCertificate=no is not a number: FTP log-ons are refused until it "
         "is corrected; use 1 or 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.name() + "=" + c.value);
        const auto warning = CheckSettingValue(c.key, c.value);
        EXPECT_EQ(warning.value_or(""), c.warning);
    }
}

// A file's values: warned about in table order, only the keys it has; the values keep their old
// meaning, but a security value refuses every FTP log-on.
TEST_F(KeyTable, AFilesValuesAreWarnedAboutAndSecurityRefuses)
{
    setContent("[ImageOptions]\nQuality=-5\n[UploadOptions]\nFTPSecurity=TLS\nFTPUpload=yes\n"
               "FTPServer=ftp.example.org\n");
    const std::vector<std::string> problems = SettingsValueProblems();
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_TRUE(problems[0].starts_with("UploadOptions/FTPUpload=yes is not a number"));
    EXPECT_TRUE(problems[1].starts_with("UploadOptions/FTPSecurity=TLS is not a number"));
    EXPECT_TRUE(problems[2].starts_with("ImageOptions/Quality=-5: below 1"));

    LiveSettings s;
    s.LoadEverything(true);
    EXPECT_EQ(s.m_nQuality, -5);
    EXPECT_FALSE(s.m_bFTPUpload);
    EXPECT_EQ(s.m_nFTPSecurity, 0);
    EXPECT_EQ(s.m_strFTPSecurityRefusal, problems[1]);

    // Corrected and re-read: the refusal goes; a second bad security key joins the first.
    setContent("[UploadOptions]\nFTPSecurity=1\n");
    s.LoadFtp();
    EXPECT_EQ(s.m_strFTPSecurityRefusal, "");
    setContent("[UploadOptions]\nFTPSecurity=-1\nFTPVerifyCertificate=off\n");
    s.LoadFtp();
    EXPECT_NE(s.m_strFTPSecurityRefusal.find("FTPSecurity=-1"), std::string::npos);
    EXPECT_NE(s.m_strFTPSecurityRefusal.find("; UploadOptions/FTPVerifyCertificate=off"),
              std::string::npos);
    EXPECT_TRUE(SettingsValueProblems().size() == 2);
}

TEST_F(KeyTable, TheFirstStartWritesExactlyTheKeysThePagesWrite)
{
    const FirstStartWrites w = WriteFirstStartValues();
    std::set<std::string> written, pageKeys;
    for (const PageValue& v : w.written)
        written.insert(std::string(v.section) + "/" + std::string(v.key));
    for (const SettingKey& k : SettingKeys())
        if (k.page != SettingsPage::None)
            pageKeys.insert(k.name());
    EXPECT_EQ(written, pageKeys);
    EXPECT_EQ(content().find("FTPCertificateFingerprint"), std::string::npos);
    EXPECT_EQ(content().find("Camera1"), std::string::npos);
    EXPECT_TRUE(SettingsValueProblems().empty());
}
