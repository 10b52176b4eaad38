#include "DialogTestSupport.h"

#include "imaging/codec/ImgLib.h"
#include "ui/dialogs/CFtpDirDialog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QThread>

namespace vistrel::test {

namespace {

RgbImage rgbOf(int width, int height, const std::function<QColor(int, int)>& colour)
{
    RgbImage rgb = RgbImage::allocate(static_cast<size_t>(width) * height * 3);
    std::uint8_t* p = rgb.data();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QColor c = colour(x, y);
            *p++ = static_cast<std::uint8_t>(c.red());
            *p++ = static_cast<std::uint8_t>(c.green());
            *p++ = static_cast<std::uint8_t>(c.blue());
        }
    return rgb;
}

} // namespace

std::string writeFrame(const TempDir& dir, const std::string& name, int width, int height,
                       const std::function<QColor(int, int)>& colour)
{
    const std::string path = dir.file(name);
    const auto fill = colour ? colour : [](int, int) { return QColor(0, 0, 255); };
    const RgbImage rgb = rgbOf(width, height, fill);
    if (!ImgLibSaveRGBToBMP(path, rgb, static_cast<unsigned>(width), static_cast<unsigned>(height)))
        return {};
    return path;
}

std::string writePicture(const std::string& path, int width, int height, QColor colour)
{
    const RgbImage rgb = rgbOf(width, height, [colour](int, int) { return colour; });
    const auto w = static_cast<unsigned>(width), h = static_cast<unsigned>(height);
    const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
    const bool ok = png ? ImgLibSaveRGBToPNG(path, rgb, w, h) : ImgLibSaveRGBToBMP(path, rgb, w, h);
    return ok ? path : std::string();
}

DialogServices RecordedServices::services()
{
    DialogServices s;
    s.grabSample = [this] { return framePath; };
    s.prompter = &prompter;
    s.showSizeNotice = [this](QWidget*) { ++sizeNotices; };
    s.chooseOpenFile = [this](QWidget*, const FileDialogRequest& request) {
        fileRequests.push_back(request);
        return nextFile;
    };
    s.showHelp = [this](QWidget*, int context) { helpTopics.push_back(context); };
    return s;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

FtpBrowseSettings loopbackBrowse(int port, const std::string& directory)
{
    FtpBrowseSettings s;
    s.connection.host = "127.0.0.1";
    s.connection.port = port;
    s.connection.user = "cam";
    s.connection.password = "secret";
    s.connection.passive = true;
    s.directory = directory;
    return s;
}

bool settle(CFtpDirDialog& dialog, int timeoutMs)
{
    QCoreApplication::processEvents(); // a first listing starts once the dialog is shown
    return waitFor([&] { return !dialog.Busy(); }, timeoutMs);
}

bool openEntry(CFtpDirDialog& dialog, const QString& name)
{
    auto* list = dialog.findChild<QListWidget*>("directories");
    const auto items = list->findItems(name, Qt::MatchExactly);
    if (items.size() != 1)
        return false;
    emit list->itemDoubleClicked(items[0]);
    return settle(dialog);
}

QRect inkBounds(const QImage& image, const QRect& area, QRgb background)
{
    QRect r;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != background)
                r |= QRect(x, y, 1, 1);
    return r;
}

} // namespace vistrel::test
