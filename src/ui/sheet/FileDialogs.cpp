#include "ui/sheet/FileDialogs.h"

#include <QFileDialog>

namespace vistrel {

namespace {

std::function<QString(const FileDialogRequest&)>& Chooser()
{
    static std::function<QString(const FileDialogRequest&)> chooser;
    return chooser;
}

} // namespace

QString ChooseFile(QWidget* parent, const FileDialogRequest& request)
{
    if (Chooser())
        return Chooser()(request);
    QFileDialog dialog(parent, request.title);
    const bool save = request.mode == FileDialogRequest::Mode::Save;
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

void SetFileChooserForTesting(std::function<QString(const FileDialogRequest&)> chooser)
{
    Chooser() = std::move(chooser);
}

} // namespace vistrel
