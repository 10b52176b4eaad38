// The logo dialog: transparency from a GIF, the larger-than-capture rule, unreadable files and
// the sample.
#include "DialogTestSupport.h"

#include "imaging/codec/ImgLib.h"
#include "ui/dialogs/LogoPropertiesDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace vistrel;
using namespace vistrel::test;

namespace {

const QRgb kFrameBlue = qRgb(0, 0, 255);

struct LogoFixture : ::testing::Test {
    TempDir dir;
    RecordedServices recorded;
    std::string gif = sourceDir() + "/tests/ui/dialogs/data/magenta.gif";

    void SetUp() override { recorded.framePath = writeFrame(dir, "frame.bmp", 320, 240); }

    template <typename T> T* child(QWidget& parent, const char* name)
    {
        return parent.findChild<T*>(QString::fromLatin1(name));
    }
    // Chooses path with the "..." button.
    void browse(LogoPropertiesDialog& dialog, const std::string& path)
    {
        recorded.nextFile = QString::fromStdString(path);
        QTest::mouseClick(child<QPushButton>(dialog, "browse"), Qt::LeftButton);
    }
};

} // namespace

TEST_F(LogoFixture, GifTransparencyEnablesTheBoxAndAPngDisablesItAgain)
{
    const QRgb grey = qRgb(128, 128, 128);
    recorded.framePath =
        writeFrame(dir, "grey.bmp", 320, 240, [](int, int) { return QColor(128, 128, 128); });
    LogoPropertiesDialog dialog(LogoProperties{"", 4, true}, recorded.services());
    auto* box = child<QCheckBox>(dialog, "transparency");
    auto* colour = child<QLabel>(dialog, "transparentColor");
    // No logo, no transparency: the stored tick is not shown, nor handed back.
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(box->isChecked());

    browse(dialog, gif);
    box->setChecked(true);
    ASSERT_EQ(recorded.fileRequests.size(), 1u);
    EXPECT_EQ(recorded.fileRequests[0].title, "Select Image");
    EXPECT_TRUE(recorded.fileRequests[0].filter.startsWith(
        "Supported Picture Files (*.BMP *.GIF *.JPG *.PCX *.PNG *.TIF *.bmp"));
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(colour->text(), "(255,000,255)");
    EXPECT_EQ(child<QLineEdit>(dialog, "path")->text().toStdString(), gif);

    // Centre alignment: the 40 × 30 logo at (140, 105); its magenta border lets the frame through
    // while the box is ticked, and covers it when the box is cleared.
    QImage sample = dialog.SampleImage();
    EXPECT_EQ(sample.pixel(141, 106), grey);
    EXPECT_EQ(sample.pixel(155, 120), qRgb(0, 0, 255)); // the logo's blue block
    box->setChecked(false);
    sample = dialog.SampleImage();
    EXPECT_EQ(sample.pixel(141, 106), qRgb(255, 0, 255));
    EXPECT_EQ(sample.pixel(139, 104), grey);

    const std::string png = writePicture(dir.file("logo.png"), 50, 20, QColor(0, 255, 0));
    browse(dialog, png);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(colour->text().isEmpty());
    EXPECT_EQ(dialog.LogoSize(), QSize(50, 20));
    EXPECT_EQ(dialog.SampleImage().pixel(160, 120), qRgb(0, 255, 0));
    EXPECT_FALSE(box->isChecked()); // the box shows what is handed back
    EXPECT_EQ(dialog.Values(), (LogoProperties{png, 4, false}));
    EXPECT_TRUE(recorded.prompter.texts().empty());
}

TEST_F(LogoFixture, OnlyALogoWiderAndTallerThanTheFrameIsRefused)
{
    struct Case {
        int width, height;
        bool refused;
    };
    const Case cases[] = {{400, 300, true},
                          {321, 241, true},
                          {400, 100, false},
                          {100, 300, false},
                          {320, 240, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        recorded.prompter.clear();
        const std::string first = writePicture(dir.file("first.bmp"), 10, 10, Qt::red);
        LogoPropertiesDialog dialog(LogoProperties{first, 2, false}, recorded.services());
        const std::string big =
            writePicture(dir.file("big.bmp"), c.width, c.height, QColor(255, 255, 0));
        browse(dialog, big);
        if (c.refused) {
            EXPECT_EQ(recorded.prompter.texts(),
                      std::vector<std::string>{"Overlay image is larger than capture image!"});
            // The dialog keeps the logo it showed.
            EXPECT_EQ(dialog.Values().path, first);
            EXPECT_EQ(dialog.LogoSize(), QSize(10, 10));
            EXPECT_EQ(dialog.SampleImage().pixel(315, 5), qRgb(255, 0, 0));
        } else {
            EXPECT_TRUE(recorded.prompter.texts().empty());
            EXPECT_EQ(dialog.Values().path, big);
            // Top/Right, clipped where it leaves the frame.
            const QImage sample = dialog.SampleImage();
            const QRgb yellow = qRgb(255, 255, 0);
            EXPECT_EQ(sample.pixel(std::max(0, 320 - c.width), 0), yellow);
            EXPECT_EQ(sample.pixel(319, std::min(c.height, 240) - 1), yellow);
            if (c.width < 320) {
                EXPECT_EQ(sample.pixel(319 - c.width, 0), kFrameBlue);
            }
        }
    }
}

TEST_F(LogoFixture, AnUnreadableFileShowsTheLibrarysTextAndChangesNothing)
{
    writeFile(dir.file("broken.gif"), "GIF89a but not really");
    struct Case {
        std::string name;
        int code;
    };
    const Case cases[] = {{"missing.png", IMGLIB_FILE_OPEN},
                          {"broken.gif", IMGLIB_BAD_GIF},
                          {"logo.jpeg", IMGLIB_OK}}; // no reader for the ending
    LogoPropertiesDialog dialog(LogoProperties{gif, 8, true}, recorded.services());
    const QImage before = dialog.SampleImage();
    for (const Case& c : cases) {
        recorded.prompter.clear();
        browse(dialog, dir.file(c.name));
        EXPECT_EQ(recorded.prompter.texts(),
                  std::vector<std::string>{ImageLibraryErrorText(c.code)})
            << c.name;
        EXPECT_EQ(dialog.Values(), (LogoProperties{gif, 8, true}));
        EXPECT_EQ(dialog.SampleImage(), before);
        EXPECT_EQ(dialog.TransparentColor(), makeColorRef(255, 0, 255));
    }

    // A mistyped path and Enter: the file is refused, the path goes back to the logo shown, and
    // the dialog stays open (Enter loads, it does not press OK).
    auto* path = child<QLineEdit>(dialog, "path");
    dialog.show();
    for (const std::string& typed : {dir.file("mistyped.gif"), dir.file("broken.gif")}) {
        recorded.prompter.clear();
        path->setFocus();
        path->setText(QString::fromStdString(typed));
        path->setModified(true);
        QTest::keyClick(path, Qt::Key_Return);
        EXPECT_EQ(recorded.prompter.texts().size(), 1u) << typed;
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(path->text().toStdString(), gif);
        EXPECT_EQ(dialog.Values(), (LogoProperties{gif, 8, true}));
    }

    // A typed path is loaded when the edit is left; an emptied one drops the logo.
    const std::string png = writePicture(dir.file("typed.png"), 20, 20, Qt::white);
    path->setText(QString::fromStdString(png));
    path->setModified(true);
    emit path->editingFinished();
    EXPECT_EQ(dialog.LogoSize(), QSize(20, 20));
    EXPECT_EQ(dialog.SampleImage().pixel(310, 230), qRgb(255, 255, 255)); // Bottom/Right
    path->clear();
    path->setModified(true);
    emit path->editingFinished();
    EXPECT_EQ(dialog.LogoSize(), QSize(0, 0));
    EXPECT_EQ(dialog.SampleImage().pixel(310, 230), kFrameBlue);
    EXPECT_EQ(dialog.Values().path, "");
}

TEST_F(LogoFixture, StoredValuesRoundTripAndTheAlignmentMovesTheLogo)
{
    // Path and alignment come back as stored; the transparency only where a logo has a
    // transparent colour to enable it (without one the box shows it off, and that is returned).
    struct RoundTrip {
        LogoProperties in, out;
    };
    const RoundTrip cases[] = {
        {{gif, 0, false}, {gif, 0, false}},
        {{gif, 3, true}, {gif, 3, true}},
        // a logo that no longer loads, an unknown alignment
        {{dir.file("gone.png"), 11, true}, {dir.file("gone.png"), 11, false}},
        {{"", 6, true}, {"", 6, false}},
    };
    for (const RoundTrip& c : cases) {
        LogoPropertiesDialog dialog(c.in, recorded.services());
        EXPECT_EQ(dialog.Values(), c.out) << c.in.path;
    }
    EXPECT_EQ(recorded.prompter.texts(),
              std::vector<std::string>{ImageLibraryErrorText(IMGLIB_FILE_OPEN)});

    const std::string logo = writePicture(dir.file("logo.bmp"), 100, 50, Qt::white);
    LogoPropertiesDialog dialog(LogoProperties{logo, 0, false}, recorded.services());
    auto* alignment = child<QComboBox>(dialog, "alignment");
    struct Case {
        int code;
        QPoint topLeft;
    };
    for (const Case c :
         {Case{8, {220, 190}}, Case{4, {110, 95}}, Case{3, {0, 95}}, Case{1, {110, 0}}}) {
        alignment->setCurrentIndex(c.code);
        const QImage sample = dialog.SampleImage();
        EXPECT_EQ(inkBounds(sample, QRect(0, 0, 320, 240), kFrameBlue),
                  QRect(c.topLeft, QSize(100, 50)))
            << c.code;
        EXPECT_EQ(dialog.Values().alignment, c.code);
    }
}
