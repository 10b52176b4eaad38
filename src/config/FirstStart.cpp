#include "config/FirstStart.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"

namespace vistrel {

namespace {

// The directory browser reads FTPPort with 21 when it is absent, but no page writes it.
bool writtenByAPage(const SettingKey& k)
{
    return k.pageDefault && !(k.section == section::kUploadOptions && k.key == "FTPPort");
}

// A key is missing when a read with two different defaults gives both back.
bool missing(const SettingKey& k)
{
    return IniReadString(k.section, k.key, "\x01") == "\x01" &&
           IniReadString(k.section, k.key, "\x02") == "\x02";
}

} // namespace

std::vector<PageValue> PageValuesForMissingKeys()
{
    std::vector<PageValue> values;
    for (const SettingKey& k : SettingKeys())
        if (writtenByAPage(k))
            values.push_back({k.section, k.key, k.pageDefault});
    return values;
}

FirstStartWrites WriteFirstStartValues()
{
    FirstStartWrites result;
    const bool noServer = IniReadString(section::kUploadOptions, "FTPServer", "").empty();
    for (PageValue v : PageValuesForMissingKeys()) {
        const SettingKey* k = FindSettingKey(v.section, v.key);
        if (!missing(*k))
            continue;
        if (noServer && v.section == section::kUploadOptions &&
            (v.key == "FTPUpload" || v.key == "SaveAsFile")) {
            v.value = v.key == "FTPUpload" ? "0" : "1";
            result.uploadKeptOff = result.uploadKeptOff || v.key == "FTPUpload";
        }
        std::string error;
        const bool ok = k->type == SettingType::Password
                            ? IniWritePassword(v.section, v.key, v.value, &error)
                            : IniWriteString(v.section, v.key, v.value, &error);
        if (!ok) {
            if (result.error.empty())
                result.error = error;
            continue;
        }
        if (v.value != k->programDefault)
            result.changed.push_back(v);
        result.written.push_back(std::move(v));
    }
    return result;
}

} // namespace vistrel
