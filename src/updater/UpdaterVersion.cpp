#include "updater/UpdaterVersion.h"

namespace vistrel {

const UpdaterVersionInfo& UpdaterVersion()
{
    static const UpdaterVersionInfo info{"Tessel Software Updater", "1.0.3", "1.0.0.3",
                                         "Tessel Software", "Copyright (C) 2026"};
    return info;
}

AboutTexts MakeAboutTexts(const UpdaterVersionInfo* info)
{
    AboutTexts texts{"About Updater", "Tessel Software Updater", "Version 1.0",
                     "Copyright (C) 2026 Tessel Software"};
    if (!info)
        return texts;
    if (!info->strProductVersion.empty())
        texts.strVersion = "Version " + info->strProductVersion;
    if (!info->strProductName.empty()) {
        texts.strProduct = info->strProductName;
        texts.strTitle = info->strProductName;
    }
    if (!info->strLegalCopyright.empty() && !info->strCompanyName.empty())
        texts.strCopyright = info->strLegalCopyright + "  " + info->strCompanyName;
    return texts;
}

} // namespace vistrel
