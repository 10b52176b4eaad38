#pragma once

#include "platform/Prompter.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace vistrel {

// An open-file request of a dialog's browse button. filter uses Qt's notation
// ("Name (*.A *.B);;Other (*.C)").
struct FileDialogRequest {
    QString title;
    QString filter;
    QString start; // the file offered first (or a folder to start in); empty: the dialog's choice
};

// What the stamp, logo and FTP dialogs need from around them. Every member may be left empty; the
// dialog then uses the program's own facility, named with each member. Tests fill them in to
// supply a known frame, record message boxes and choose file names.
struct DialogServices {
    // Grabs a sample frame from the camera into a bitmap file and returns its path, or an empty
    // text when the grab failed. The settings pages pass the hub's GrabSampleFrame.
    // Empty: no camera (the sample stays empty and the size notice shows).
    std::function<std::string()> grabSample;
    // Message boxes. Null: Qt message boxes captioned "Vistrel" over the dialog.
    Prompter* prompter = nullptr;
    // Shows the notice that the samples are laid out for 320 × 240 frames. Empty: the modal
    // SampleSizeNotice over the dialog.
    std::function<void(QWidget* parent)> showSizeNotice;
    // Asks for an existing file to open; returns its path or an empty text when cancelled.
    // Empty: Qt's file dialog.
    std::function<QString(QWidget* parent, const FileDialogRequest& request)> chooseOpenFile;
    // Opens the help topic of a help context. Empty: the program's help window.
    std::function<void(QWidget* parent, int context)> showHelp;
};

// The services a dialog actually uses, with the program's own facilities wherever the caller's
// DialogServices left a member empty.
class DialogSupport {
  public:
    DialogSupport(DialogServices services, QWidget* owner);
    ~DialogSupport();

    std::string GrabSample() const;
    void Message(const std::string& text) const;
    void ShowSizeNotice() const;
    QString ChooseOpenFile(const FileDialogRequest& request) const;
    void ShowHelp(int context) const;

  private:
    DialogServices m_services;
    QWidget* m_pOwner;
    std::unique_ptr<Prompter> m_ownPrompter;
};

} // namespace vistrel
