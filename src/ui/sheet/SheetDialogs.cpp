#include "ui/sheet/SheetDialogs.h"

#include "app/Hub.h"
#include "ui/dialogs/CFtpDirDialog.h"
#include "ui/dialogs/CFtpProxyDialog.h"
#include "ui/dialogs/CMyFontDialog.h"
#include "ui/dialogs/CMyTimeDialog.h"
#include "ui/dialogs/LogoPropertiesDialog.h"
#include "ui/sheet/FileDialogs.h"

namespace vistrel {

namespace {

// The stamp dialogs' sample comes from the hub's camera; their file dialog is the pages' own.
DialogServices servicesFor(Hub* hub)
{
    DialogServices services;
    if (hub)
        services.grabSample = [hub] { return hub->GrabSampleFrame(); };
    services.chooseOpenFile = [](QWidget* parent, const FileDialogRequest& request) {
        FileChooserRequest chooser;
        chooser.mode = FileChooserRequest::Mode::Open;
        chooser.title = request.title;
        chooser.filters = request.filter.split(QStringLiteral(";;"));
        chooser.selectFile = request.start;
        return ChooseFile(parent, chooser);
    };
    return services;
}

// Runs dialog and hands its values back on OK.
template <typename Dialog, typename Values> bool RunDialog(Dialog& dialog, Values& values)
{
    if (dialog.exec() != QDialog::Accepted)
        return false;
    values = dialog.Values();
    return true;
}

} // namespace

SheetDialogs SheetDialogs::Installed()
{
    SheetDialogs d;
    d.proxy = [](QWidget* parent, ProxySettings& values) {
        CFtpProxyDialog dialog(values, servicesFor(nullptr), parent);
        return RunDialog(dialog, values);
    };
    d.browseDirectory = [](QWidget* parent, const FtpBrowseSettings& request,
                           std::string& directory) {
        CFtpDirDialog dialog(request, servicesFor(nullptr), parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        directory = dialog.Directory();
        return true;
    };
    d.banner = [](QWidget* parent, Hub& hub, BannerProperties& values) {
        CMyFontDialog dialog(values, servicesFor(&hub), parent);
        return RunDialog(dialog, values);
    };
    d.dateTime = [](QWidget* parent, Hub& hub, DateTimeProperties& values) {
        CMyTimeDialog dialog(values, servicesFor(&hub), parent);
        return RunDialog(dialog, values);
    };
    d.logo = [](QWidget* parent, Hub& hub, LogoProperties& values) {
        LogoPropertiesDialog dialog(values, servicesFor(&hub), parent);
        return RunDialog(dialog, values);
    };
    return d;
}

} // namespace vistrel
