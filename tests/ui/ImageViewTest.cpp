// The picture viewer: its size, scrolling for a picture larger than the screen, and Save as by
// the chosen file type.
#include "RecordingPrompter.h"
#include "TestSupport.h"

#include "imaging/codec/ImgLib.h"
#include "ui/ImageView.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace vistrel::test {
namespace {

// A w x h JPEG with a gradient, so that every pixel is not the same.
std::string writeJpeg(const TempDir& dir, int w, int h)
{
    RgbImage image = RgbImage::allocate(static_cast<std::size_t>(w) * h * 3);
    for (std::size_t i = 0; i < image.size(); ++i)
        image.data()[i] = static_cast<std::uint8_t>(i * 7 / 3);
    const std::string path = dir.file("picture.jpg");
    EXPECT_TRUE(ImgLibSaveRGBToJPG(path, image, w, h, 90, 1, 0));
    return path;
}

TEST(ImageView, TheClientAreaIsThePicture)
{
    TempDir dir;
    RecordingPrompter prompter;
    CImageView view(QString::fromStdString(writeJpeg(dir, 640, 480)), prompter, nullptr);
    ASSERT_TRUE(view.LoadPicture());
    view.FitToPicture();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.windowTitle(), "Image View");
    EXPECT_EQ(view.PictureSize(), QSize(640, 480));
    EXPECT_EQ(view.PictureArea()->viewport()->size(), QSize(640, 480));
    EXPECT_FALSE(view.PictureArea()->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(view.PictureArea()->verticalScrollBar()->isVisible());
    EXPECT_TRUE(prompter.texts().empty());
}

TEST(ImageView, APictureLargerThanTheScreenScrollsInAWindowThatFits)
{
    TempDir dir;
    RecordingPrompter prompter;
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    const QSize big = screen + QSize(500, 400);
    CImageView view(QString::fromStdString(writeJpeg(dir, big.width(), big.height())), prompter,
                    nullptr);
    ASSERT_TRUE(view.LoadPicture());
    view.FitToPicture();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_LE(view.width(), screen.width());
    EXPECT_LE(view.height(), screen.height());
    QScrollArea* area = view.PictureArea();
    EXPECT_GT(area->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
}

TEST(ImageView, SavesByTheChosenTypeNotByTheNameAndSaysWhatFails)
{
    TempDir dir;
    RecordingPrompter prompter;
    CImageView view(QString::fromStdString(writeJpeg(dir, 64, 48)), prompter, nullptr);
    ASSERT_TRUE(view.LoadPicture());
    struct Case {
        int type;
        const char* name;
        std::string magic;
    };
    const std::vector<Case> cases = {
        {CImageView::kSaveJpg, "a.jpg", "\xFF\xD8"},
        {CImageView::kSavePng, "shot.jpg", "\x89PNG"},
        {CImageView::kSaveBmp, "b.png", "BM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        view.SetSaveChooser([&](QWidget*, QString* chosen, int* type) {
            *chosen = QString::fromStdString(path);
            *type = c.type;
            return true;
        });
        view.OnSaveAs();
        EXPECT_EQ(readFile(path).substr(0, c.magic.size()), c.magic);
    }
    // A JPEG at quality 75 reads back at the picture's size.
    unsigned w = 0, h = 0;
    EXPECT_TRUE(ImgLibReadRGBFromJPG(dir.file("a.jpg"), w, h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(64u, 48u));
    EXPECT_TRUE(prompter.texts().empty());

    // An unknown type, and a folder that does not exist: said, and the viewer stays.
    EXPECT_FALSE(view.SavePicture(QString::fromStdString(dir.file("c.gif")), 3));
    EXPECT_FALSE(view.SavePicture(QString::fromStdString(dir.file("no/such.jpg")), 0));
    EXPECT_EQ(prompter.texts(),
              (std::vector<std::string>{"Invalid Filename", ImageViewerErrorText(2)}));

    // A file that is not a JPEG leaves the viewer empty, with the library's text.
    writeFile(dir.file("bad.jpg"), "not a picture at all");
    CImageView empty(QString::fromStdString(dir.file("bad.jpg")), prompter, nullptr);
    EXPECT_FALSE(empty.LoadPicture());
    EXPECT_EQ(empty.LoadError().toStdString(), ImageViewerErrorText(9));
    EXPECT_EQ(empty.PictureSize(), QSize(0, 0));
}

} // namespace
} // namespace vistrel::test
