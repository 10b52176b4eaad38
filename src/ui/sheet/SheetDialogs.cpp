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

FontRecord toRecord(const StampFont& f)
{
    return {f.face, f.height, f.width, f.weight, f.italic};
}

StampFont toStampFont(const FontRecord& r)
{
    return {r.face, r.height, r.width, r.weight, r.italic};
}

ProxySettings toSettings(const ProxyValues& v)
{
    return {v.type, v.server, v.port, v.userName, v.password};
}

// The stamp dialogs' sample comes from the hub's camera; their file dialog is the pages' own.
DialogServices servicesFor(Hub* hub)
{
    DialogServices services;
    if (hub)
        services.grabSample = [hub] { return hub->Capture().GrabSampleFrame(); };
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

} // namespace

SheetDialogs SheetDialogs::Installed()
{
    SheetDialogs d;
    d.proxy = [](QWidget* parent, ProxyValues& values) {
        CFtpProxyDialog dialog(toSettings(values), servicesFor(nullptr), parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        const ProxySettings out = dialog.Values();
        values = {out.type, out.server, out.port, out.user, out.password};
        return true;
    };
    d.browseDirectory = [](QWidget* parent, const DirectoryBrowseRequest& request,
                           std::string& directory) {
        FtpBrowseSettings s;
        s.host = request.server;
        s.port = request.port;
        s.user = request.userName;
        s.password = request.password;
        s.passive = request.passive;
        s.useProxy = request.useProxy;
        s.proxy = toSettings(request.proxy);
        s.directory = request.directory;
        CFtpDirDialog dialog(s, servicesFor(nullptr), parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        directory = dialog.Directory();
        return true;
    };
    d.banner = [](QWidget* parent, Hub& hub, BannerValues& values) {
        CMyFontDialog dialog(
            {toRecord(values.font), values.colour, values.text, values.alignment, values.shadow},
            servicesFor(&hub), parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        const BannerProperties out = dialog.Values();
        values = {toStampFont(out.font), out.color, out.text, out.alignment, out.shadow};
        return true;
    };
    d.dateTime = [](QWidget* parent, Hub& hub, DateTimeValues& values) {
        CMyTimeDialog dialog(
            {toRecord(values.font), values.colour, values.alignment, values.shadow, values.format},
            servicesFor(&hub), parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        const DateTimeProperties out = dialog.Values();
        values = {toStampFont(out.font), out.color, out.alignment, out.shadow, out.format};
        return true;
    };
    d.logo = [](QWidget* parent, Hub& hub, LogoValues& values) {
        LogoPropertiesDialog dialog({values.fileName, values.alignment, values.transparency},
                                    servicesFor(&hub), parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        const LogoProperties out = dialog.Values();
        values = {out.path, out.alignment, out.transparency};
        return true;
    };
    return d;
}

} // namespace vistrel
