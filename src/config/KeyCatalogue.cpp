#include "config/KeyCatalogue.h"

#include "config/PasswordScrambling.h"
#include "config/SettingsFile.h"

namespace vistrel {

namespace {

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string_view pageText(const SettingKey& k)
{
    return k.pageDefault ? std::string_view(k.pageDefault) : k.programDefault;
}

} // namespace

std::string SettingKey::name() const
{
    return std::string(section) + "/" + std::string(key);
}

const SettingKey* FindSettingKey(std::string_view sectionName, std::string_view key)
{
    for (const SettingKey& k : SettingKeys()) {
        if (sameName(k.section, sectionName) && sameName(k.key, key))
            return &k;
    }
    return nullptr;
}

int ReadSettingInt(const SettingKey& k)
{
    return IniReadInt(k.section, k.key, k.programDefaultInt());
}

std::string ReadSettingString(const SettingKey& k)
{
    if (k.type == SettingType::Password)
        return IniReadPassword(k.section, k.key);
    return IniReadString(k.section, k.key, k.programDefault);
}

bool WriteSetting(const SettingKey& k, int value, std::string* error)
{
    return IniWriteInt(k.section, k.key, value, error);
}

bool WriteSetting(const SettingKey& k, std::string_view value, std::string* error)
{
    if (k.type == SettingType::Password)
        return IniWritePassword(k.section, k.key, value, error);
    return IniWriteString(k.section, k.key, value, error);
}

int ReadSettingInt(std::string_view sectionName, std::string_view key)
{
    const SettingKey* k = FindSettingKey(sectionName, key);
    return k ? ReadSettingInt(*k) : IniReadInt(sectionName, key, 0);
}

std::string ReadSettingString(std::string_view sectionName, std::string_view key)
{
    const SettingKey* k = FindSettingKey(sectionName, key);
    return k ? ReadSettingString(*k) : IniReadString(sectionName, key, "");
}

int ReadPageInt(const SettingKey& k)
{
    return IniReadInt(k.section, k.key, k.pageDefaultInt());
}

std::string ReadPageString(const SettingKey& k)
{
    if (k.type == SettingType::Password)
        return IniReadPassword(k.section, k.key);
    return IniReadString(k.section, k.key, pageText(k));
}

int ReadPageInt(std::string_view sectionName, std::string_view key)
{
    const SettingKey* k = FindSettingKey(sectionName, key);
    return k ? ReadPageInt(*k) : IniReadInt(sectionName, key, 0);
}

std::string ReadPageString(std::string_view sectionName, std::string_view key)
{
    const SettingKey* k = FindSettingKey(sectionName, key);
    return k ? ReadPageString(*k) : IniReadString(sectionName, key, "");
}

bool SettingPresent(const SettingKey& k)
{
    // A key is missing when a read with two different defaults gives both back.
    return IniReadString(k.section, k.key, "\x01") != "\x01" ||
           IniReadString(k.section, k.key, "\x02") != "\x02";
}

namespace {

constexpr int VideoFormatSettings::*kFormatMembers[] = {
    &VideoFormatSettings::Size,          &VideoFormatSettings::Width,
    &VideoFormatSettings::Height,        &VideoFormatSettings::Planes,
    &VideoFormatSettings::BitCount,      &VideoFormatSettings::Compression,
    &VideoFormatSettings::SizeImage,     &VideoFormatSettings::XPelsPerMeter,
    &VideoFormatSettings::YPelsPerMeter, &VideoFormatSettings::ClrUsed,
    &VideoFormatSettings::ClrImportant,
};
static_assert(std::size(kFormatMembers) == std::size(keys::kVideoFormat));

} // namespace

VideoFormatSettings ReadVideoFormatSettings()
{
    VideoFormatSettings format;
    for (std::size_t i = 0; i < std::size(kFormatMembers); ++i)
        format.*kFormatMembers[i] = ReadSettingInt(*keys::kVideoFormat[i]);
    return format;
}

bool WriteVideoFormatSettings(const VideoFormatSettings& format)
{
    bool ok = true;
    for (std::size_t i = 0; i < std::size(kFormatMembers); ++i)
        ok = WriteSetting(*keys::kVideoFormat[i], format.*kFormatMembers[i]) && ok;
    return ok;
}

} // namespace vistrel
