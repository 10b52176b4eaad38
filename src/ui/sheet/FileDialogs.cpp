#include "ui/sheet/FileDialogs.h"

#include <QFileDialog>

namespace vistrel {

namespace {

std::function<QString(const FileChooserRequest&)>& Chooser()
{
    static std::function<QString(const FileChooserRequest&)> chooser;
    return chooser;
}

} // namespace

QString ChooseFile(QWidget* parent, const FileChooserRequest& request)
{
    if (Chooser())
        return Chooser()(request);
    QFileDialog dialog(parent, request.title);
    const bool save = request.mode == FileChooserRequest::Mode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.selectFile.isEmpty())
        dialog.selectFile(request.selectFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void SetFileChooserForTesting(std::function<QString(const FileChooserRequest&)> chooser)
{
    Chooser() = std::move(chooser);
}

} // namespace vistrel
