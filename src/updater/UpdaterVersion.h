#pragma once

#include <string>

namespace vistrel {

// The updater's version information (its stand-in for a version resource) and the texts its
// About box shows.
struct UpdaterVersionInfo {
    std::string strProductName;
    std::string strProductVersion;
    std::string strFileVersion;
    std::string strCompanyName;
    std::string strLegalCopyright;
};

// The values compiled into the updater: "Tessel Software Updater", "1.0.3", file version 1.0.0.3.
const UpdaterVersionInfo& UpdaterVersion();

struct AboutTexts {
    std::string strTitle;
    std::string strProduct;
    std::string strVersion;
    std::string strCopyright;
};

// The About box's texts from the version information. A missing or empty value keeps the box's
// own text ("About Updater", "Tessel Software Updater", "Version 1.0", the copyright line); the
// copyright line is replaced only when both the copyright and the company name are there. With
// no version information at all (null) every text keeps its default.
AboutTexts MakeAboutTexts(const UpdaterVersionInfo* info);

} // namespace vistrel
