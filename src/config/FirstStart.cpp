#include "config/FirstStart.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"

namespace vistrel {

namespace {

bool writtenByAPage(const SettingKey& k)
{
    return k.page != SettingsPage::None && k.pageDefault;
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
    const bool noServer = ReadSettingString(keys::UploadOptions::FTPServer).empty();
    for (PageValue v : PageValuesForMissingKeys()) {
        const SettingKey* k = FindSettingKey(v.section, v.key);
        if (SettingPresent(*k))
            continue;
        if (noServer && k == &keys::UploadOptions::FTPUpload) {
            v.value = "0";
            result.uploadKeptOff = true;
        } else if (noServer && k == &keys::UploadOptions::SaveAsFile) {
            v.value = "1";
        }
        std::string error;
        const bool ok = WriteSetting(*k, v.value, &error);
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
