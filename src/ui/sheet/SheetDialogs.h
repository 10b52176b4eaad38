#pragma once

#include "ftp/FtpBrowse.h"
#include "ui/dialogs/CFtpProxyDialog.h"
#include "ui/dialogs/CMyFontDialog.h"
#include "ui/dialogs/CMyTimeDialog.h"
#include "ui/dialogs/LogoPropertiesDialog.h"

#include <functional>
#include <string>

class QWidget;

namespace vistrel {

class Hub;

// The pages hand the dialogs of src/ui/dialogs their own value types (ProxySettings,
// FtpBrowseSettings, BannerProperties, DateTimeProperties, LogoProperties) and take them back
// when the user confirms.

// The dialogs the pages open from src/ui/dialogs. Each runs modally over parent, edits its
// values in place and returns true when the user confirmed. A dialog that is not (yet) part of
// the program is left empty, and the page keeps the button that would open it disabled.
struct SheetDialogs {
    std::function<bool(QWidget* parent, ProxySettings& values)> proxy;
    std::function<bool(QWidget* parent, const FtpBrowseSettings& request, std::string& directory)>
        browseDirectory;
    // The stamp dialogs draw their samples on a frame from the hub's camera.
    std::function<bool(QWidget* parent, Hub& hub, BannerProperties& values)> banner;
    std::function<bool(QWidget* parent, Hub& hub, DateTimeProperties& values)> dateTime;
    std::function<bool(QWidget* parent, Hub& hub, LogoProperties& values)> logo;

    // The dialogs the program has.
    static SheetDialogs Installed();
};

} // namespace vistrel
