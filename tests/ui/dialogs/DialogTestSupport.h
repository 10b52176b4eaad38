#pragma once

#include "RecordingPrompter.h"
#include "TestSupport.h"
#include "ftp/FtpBrowse.h"
#include "ui/dialogs/DialogServices.h"

#include <QColor>
#include <QImage>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vistrel {
class CFtpDirDialog;
}

namespace vistrel::test {

// A known frame: width × height pixels, colour(x, y) each (a solid colour by default), written as
// a bitmap file by the codec layer, as the camera's sample grab leaves one.
std::string writeFrame(const TempDir& dir, const std::string& name, int width, int height,
                       const std::function<QColor(int, int)>& colour = {});
// The same for any picture file the codec layer writes (".bmp" or ".png").
std::string writePicture(const std::string& path, int width, int height, QColor colour);

// DialogServices that record what a dialog shows: message boxes go to prompter, size notices are
// counted, the file dialog answers with nextFile, help requests are noted.
struct RecordedServices {
    RecordingPrompter prompter;
    int sizeNotices = 0;
    std::vector<int> helpTopics;
    std::string framePath; // what the sample grab returns (empty: a failed grab)
    QString nextFile;
    std::vector<FileDialogRequest> fileRequests;

    DialogServices services();
};

// Processes events until done() or the time is up; returns done().
bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);

// Browser settings for a server on 127.0.0.1 and port, user "cam", password "secret".
FtpBrowseSettings loopbackBrowse(int port, const std::string& directory = {});
// Lets the browser's action (the first listing, once shown) run to its end; false when it did not
// end in time.
bool settle(CFtpDirDialog& dialog, int timeoutMs = 20000);
// Double-clicks the entry called name; false when there is no such entry or the listing did not
// end in time.
bool openEntry(CFtpDirDialog& dialog, const QString& name);

// Pixels of image that differ from background, as a bounding box.
QRect inkBounds(const QImage& image, const QRect& area, QRgb background);

} // namespace vistrel::test
