#include "config/LiveSettings.h"

#include "config/KeyCatalogue.h"
#include "config/SettingValues.h"
#include "config/SettingsFile.h"
#include "platform/AutoResetEvent.h"
#include "platform/Profile.h"

namespace vistrel {

namespace {

constexpr long kIdleWaitMs = 5000;

// Puts a key's value into its member: read from the settings file, or (fromFile false) the
// program's default for a missing key.
void loadMember(LiveSettings& s, const SettingKey& k, bool fromFile)
{
    const LiveMember& m = k.member;
    switch (m.kind) {
    case LiveMember::Kind::None:
        return;
    case LiveMember::Kind::Flag:
        s.*m.flag = (fromFile ? ReadSettingInt(k) : k.programDefaultInt()) != 0;
        return;
    case LiveMember::Kind::Integer:
        s.*m.integer = fromFile ? ReadSettingInt(k) : k.programDefaultInt();
        return;
    case LiveMember::Kind::Colour:
        s.*m.colour =
            static_cast<std::uint32_t>(fromFile ? ReadSettingInt(k) : k.programDefaultInt());
        return;
    case LiveMember::Kind::Text: {
        std::string text = fromFile ? ReadSettingString(k) : std::string(k.programDefault);
        if (k.type == SettingType::FontFace)
            text = std::string(Utf8Prefix(text, kFontFaceMax));
        s.*m.text = std::move(text);
        return;
    }
    }
}

} // namespace

LiveSettings::LiveSettings()
{
    for (const SettingKey& k : SettingKeys())
        loadMember(*this, k, false);
}

void LiveSettings::Load(ReloadGroup group)
{
    if (group == ReloadGroup::None)
        return;
    for (const SettingKey& k : SettingKeys())
        if (k.group == group)
            loadMember(*this, k, true);
    if (group == ReloadGroup::Location) {
        m_strFTPSecurityRefusal = FtpSecurityRefusal();
        const SettingKey& port = keys::UploadOptions::FTPPort;
        m_bFTPPortSet = !IniReadString(port.section, port.key, "").empty();
    }
}

void LiveSettings::LoadImageOptions()
{
    Load(ReloadGroup::Image);
}

void LiveSettings::LoadSchedule(bool readArchiveCounter)
{
    Load(ReloadGroup::Capture);
    if (readArchiveCounter)
        loadMember(*this, keys::UploadOptions::CurrentUpload, true);
}

void LiveSettings::LoadFtp()
{
    Load(ReloadGroup::Location);
}

void LiveSettings::LoadConnection()
{
    Load(ReloadGroup::Connection);
}

void LiveSettings::LoadGeneral()
{
    Load(ReloadGroup::General);
}

void LiveSettings::LoadDevice()
{
    Load(ReloadGroup::Device);
}

bool LiveSettings::LoadAll(AutoResetEvent& idleEvent)
{
    const bool idle = idleEvent.Wait(kIdleWaitMs);
    LoadEverything(true);
    return idle;
}

void LiveSettings::LoadEverything(bool readArchiveCounter)
{
    loadMember(*this, keys::Install::Directory, true);
    if (!m_strInstallDirectory.empty() && m_strInstallDirectory.back() != '/')
        m_strInstallDirectory += '/';
    m_strWorkingFolder = WorkingFolder(m_strInstallDirectory);
    LoadImageOptions();
    LoadSchedule(readArchiveCounter);
    LoadFtp();
    LoadConnection();
    LoadGeneral();
    LoadDevice();
}

} // namespace vistrel
