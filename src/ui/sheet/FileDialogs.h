#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace vistrel {

// What a page's file chooser asks for.
struct FileChooserRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString title;
    QStringList filters;   // Qt name filters, "Sound Files (*.WAV *.wav)"
    QString defaultSuffix; // added to a name typed without one
    QString selectFile;    // the name (or path) offered first
};

// Runs the file dialog of request and returns the chosen path, or an empty text when the user
// cancelled. An open dialog accepts only an existing file. The current directory of the process
// is left as it was.
QString ChooseFile(QWidget* parent, const FileChooserRequest& request);

// For tests: answer the next file dialogs with chooser instead of showing them (an empty
// function shows real dialogs again).
void SetFileChooserForTesting(std::function<QString(const FileChooserRequest&)> chooser);

} // namespace vistrel
