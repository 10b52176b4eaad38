// The banner and date/time dialogs: values in and out, the sample drawn over a known frame, and
// the size notice.
#include "DialogTestSupport.h"

#include "imaging/StampRenderer.h"
#include "ui/HelpWindow.h"
#include "ui/dialogs/CMyFontDialog.h"
#include "ui/dialogs/CMyTimeDialog.h"
#include "ui/dialogs/DialogWidgets.h"
#include "ui/dialogs/LogoPropertiesDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace vistrel;
using namespace vistrel::test;

namespace {

const QRgb kBlue = qRgb(0, 0, 255);
const QRect kSampleArea(0, 0, 320, 240);

std::uint32_t colorNamed(const char* name)
{
    for (const auto& c : StampFontDialog::kStandardColors)
        if (QString::fromLatin1(c.name) == QLatin1String(name))
            return c.colorref;
    ADD_FAILURE() << name;
    return 0;
}

template <typename T> T* child(QWidget& parent, const char* name)
{
    T* w = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

int countPixels(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

} // namespace

TEST(StampDialogs, ValuesComeBackUnchangedWhenNothingIsTouched)
{
    TempDir dir;
    RecordedServices recorded;
    recorded.framePath = writeFrame(dir, "frame.bmp", 320, 240);

    const BannerProperties banners[] = {
        {{"DejaVu Sans", -13, 0, 700, false}, 0xFFFFFF, "Our street & more", 1, true},
        // A face this machine lacks, a colour outside the sixteen, an alignment outside the list.
        {{"System", -13, 0, 700, false}, 0x123456, "", 7, false},
        // A cell height, a width, a weight that is neither 400 nor 700.
        {{"Nimbus Sans", 20, 9, 600, true}, colorNamed("Red"), "x", 5, true},
        {{"", 0, 0, 0, false}, 0, "empty face", 0, false},
    };
    for (const BannerProperties& in : banners) {
        CMyFontDialog dialog(in, recorded.services());
        EXPECT_EQ(dialog.Values(), in) << in.font.face;
        EXPECT_EQ(child<EditList>(dialog, "font")->text().toStdString(), in.font.face);
    }

    const DateTimeProperties stamps[] = {
        {{"DejaVu Serif", -16, 0, 400, true}, colorNamed("Yellow"), 4, true, 3},
        {{"System", -13, 0, 700, false}, 0xFFFFFF, 2, false, 7},
        {{"Nimbus Mono PS", -40, 0, 700, false}, 0x010203, -1, true, -2},
    };
    for (const DateTimeProperties& in : stamps) {
        CMyTimeDialog dialog(in, recorded.services());
        EXPECT_EQ(dialog.Values(), in) << in.font.face;
    }

    // OK and Help through the buttons; Help names each dialog's topic.
    CMyFontDialog banner(banners[1], recorded.services());
    CMyTimeDialog stamp(stamps[0], recorded.services());
    LogoPropertiesDialog logo(LogoProperties{}, recorded.services());
    for (QDialog* dialog : std::initializer_list<QDialog*>{&banner, &stamp, &logo}) {
        auto* box = dialog->findChild<QDialogButtonBox*>();
        QTest::mouseClick(box->button(QDialogButtonBox::Help), Qt::LeftButton);
        QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
    }
    EXPECT_EQ(recorded.helpTopics,
              (std::vector<int>{kHelpBannerDialog, kHelpDateTimeDialog, kHelpLogoDialog}));
    EXPECT_EQ(banner.Values(), banners[1]);
    EXPECT_TRUE(recorded.prompter.texts().empty());
}

TEST(StampDialogs, FrameIsDrawnOneToOneFromTheSamplesTopLeft)
{
    TempDir dir;
    const auto pattern = [](int x, int y) { return QColor(x % 256, y % 256, (x + y) % 7 * 30); };
    struct Case {
        int width, height;
    };
    for (const Case c : {Case{640, 480}, Case{160, 240}}) {
        RecordedServices recorded;
        recorded.framePath = writeFrame(dir, "frame.bmp", c.width, c.height, pattern);
        CMyFontDialog dialog(BannerProperties{{"DejaVu Sans", -13, 0, 700, false}, 0, "", 0, true},
                             recorded.services());
        const QImage sample = dialog.SampleImage();
        ASSERT_EQ(sample.size(), QSize(320, 240));
        EXPECT_EQ(dialog.FrameSize(), QSize(c.width, c.height));
        const QRgb background = dialog.palette().color(QPalette::Window).rgb();
        int wrong = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) {
                const QRgb want = x < c.width && y < c.height ? pattern(x, y).rgb() : background;
                wrong += sample.pixel(x, y) != want;
            }
        EXPECT_EQ(wrong, 0) << c.width << "x" << c.height;
    }
}

TEST(StampDialogs, ColourShadowAndAlignmentFollowTheControls)
{
    TempDir dir;
    RecordedServices recorded;
    recorded.framePath = writeFrame(dir, "frame.bmp", 320, 240); // blue
    CMyFontDialog dialog(
        BannerProperties{{"DejaVu Sans", -24, 0, 700, false}, 0xFFFFFF, "HIH", 0, false},
        recorded.services());
    auto* colour = child<QComboBox>(dialog, "color");
    auto* alignment = child<QComboBox>(dialog, "alignment");
    auto* shadow = child<QCheckBox>(dialog, "shadow");

    struct Case {
        int alignment;
        const char* colour;
        bool shadow;
        // Where the text's ink must lie.
        std::function<bool(const QRect&)> placed;
    };
    const Case cases[] = {
        {0, "Red", false, [](const QRect& r) { return r.left() < 6 && r.top() < 12; }},
        {1, "Lime", true,
         [](const QRect& r) { return std::abs(r.center().x() - 160) <= 3 && r.top() < 12; }},
        {2, "Yellow", false, [](const QRect& r) { return r.right() >= 312 && r.top() < 12; }},
        {3, "White", true, [](const QRect& r) { return r.left() < 6 && r.bottom() >= 228; }},
        {4, "Aqua", false,
         [](const QRect& r) { return std::abs(r.center().x() - 160) <= 3 && r.bottom() >= 228; }},
        {5, "Fuchsia", true, [](const QRect& r) { return r.right() >= 312 && r.bottom() >= 228; }},
    };
    for (const Case& c : cases) {
        alignment->setCurrentIndex(c.alignment);
        colour->setCurrentIndex(colour->findText(QString::fromLatin1(c.colour)));
        shadow->setChecked(c.shadow);
        const QImage sample = dialog.SampleImage();
        const QRect ink = inkBounds(sample, kSampleArea, kBlue);
        SCOPED_TRACE(c.alignment);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_TRUE(c.placed(ink))
            << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
        const QRgb text = ColorFromColorRef(colorNamed(c.colour)).rgb();
        EXPECT_GT(countPixels(sample, text), 100);
        EXPECT_EQ(countPixels(sample, qRgb(0, 0, 0)) > 20, c.shadow);
        const BannerProperties out = dialog.Values();
        EXPECT_EQ(out.alignment, c.alignment);
        EXPECT_EQ(out.color, colorNamed(c.colour));
        EXPECT_EQ(out.shadow, c.shadow);
    }
}

TEST(StampDialogs, FontStyleSizeAndTextChangesReachValuesAndSample)
{
    TempDir dir;
    RecordedServices recorded;
    recorded.framePath = writeFrame(dir, "frame.bmp", 320, 240);
    CMyFontDialog dialog(BannerProperties{{"System", -13, 7, 700, false}, 0xFFFFFF, "Hg", 0, false},
                         recorded.services());
    auto inkHeight = [&] { return inkBounds(dialog.SampleImage(), kSampleArea, kBlue).height(); };
    const int before = inkHeight();

    QLineEdit* size = child<EditList>(dialog, "size")->edit();
    size->selectAll();
    QTest::keyClicks(size, "36");
    EXPECT_EQ(dialog.Values().font.height, -48); // 36 points at 96 dots an inch
    EXPECT_EQ(dialog.Values().font.width, 0);
    EXPECT_GT(inkHeight(), before * 2);

    QListWidget* styles = child<EditList>(dialog, "style")->list();
    styles->setCurrentRow(1); // Italic
    EXPECT_EQ(dialog.Values().font.weight, 400);
    EXPECT_TRUE(dialog.Values().font.italic);

    QLineEdit* face = child<EditList>(dialog, "font")->edit();
    face->selectAll();
    QTest::keyClicks(face, "DejaVu Serif");
    EXPECT_EQ(dialog.Values().font.face, "DejaVu Serif");
    EXPECT_EQ(child<EditList>(dialog, "font")->list()->currentItem()->text(), "DejaVu Serif");

    const QImage withText = dialog.SampleImage();
    child<QLineEdit>(dialog, "text")->clear();
    EXPECT_TRUE(inkBounds(dialog.SampleImage(), kSampleArea, kBlue).isEmpty());
    EXPECT_NE(withText, dialog.SampleImage());
    EXPECT_EQ(dialog.Values().text, "");

    // The conversions between the record's pixel height and the points the list shows.
    EXPECT_EQ(StampFontDialog::PointsForHeight(-13), 10);
    EXPECT_EQ(StampFontDialog::HeightForPoints(10), -13);
    EXPECT_EQ(StampFontDialog::HeightForPoints(11), -15);
    EXPECT_EQ(StampFontDialog::PointsForHeight(0), 12);
}

TEST(TimeDialog, FormatListAndASampleThatWrapsAsThePictureDoes)
{
    TempDir dir;
    RecordedServices recorded;
    recorded.framePath = writeFrame(dir, "frame.bmp", 320, 240);
    const QDateTime when(QDate(2026, 12, 8), QTime(14, 5, 9));
    CMyTimeDialog dialog(
        DateTimeProperties{{"DejaVu Sans", -30, 0, 700, false}, 0xFFFFFF, 1, false, 0},
        recorded.services(), nullptr, [when] { return when; });
    auto* format = child<QComboBox>(dialog, "format");
    ASSERT_EQ(format->count(), 6);
    for (int code = 0; code < 6; ++code)
        EXPECT_EQ(format->itemText(code), DateTimeStampText(when, code, QLocale::system()));

    // The long date is wider than the sample: at the top it wraps as the published picture's
    // stamp does, within the sample's width.
    format->setCurrentIndex(5);
    EXPECT_EQ(dialog.Values().format, 5);
    const QRect top = inkBounds(dialog.SampleImage(), kSampleArea, kBlue);
    EXPECT_LT(top.top(), 12);
    EXPECT_GE(top.height(), 40); // more than one line
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(Qt::black);
    DrawStamp({picture.bits(), picture.width(), picture.height(), picture.bytesPerLine(),
               PixelOrder::Xrgb32},
              dialog.Values().font, DateTimeStampText(when, 5, QLocale::system()), 1, false,
              0xFFFFFF);
    EXPECT_EQ(top.height(), inkBounds(picture, kSampleArea, qRgb(0, 0, 0)).height());

    child<QComboBox>(dialog, "alignment")->setCurrentIndex(3);
    const QRect bottom = inkBounds(dialog.SampleImage(), kSampleArea, kBlue);
    EXPECT_GE(bottom.bottom(), 228);
    EXPECT_LT(bottom.height(), 40);
}

TEST(SampleSizeNotice, ShownForEveryFrameThatIsNot320x240)
{
    TempDir dir;
    writeFile(dir.file("not-a-bitmap.bmp"), "hello");
    struct Case {
        int width, height; // 0 × 0: the grab failed
        bool notice;
    };
    const Case cases[] = {
        {320, 240, false}, {640, 480, true}, {320, 480, true}, {160, 240, true}, {0, 0, true}};
    for (const Case& c : cases) {
        for (int which = 0; which < 3; ++which) {
            RecordedServices recorded;
            if (c.width > 0)
                recorded.framePath = writeFrame(dir, "frame.bmp", c.width, c.height);
            std::unique_ptr<QDialog> dialog;
            QSize frame;
            if (which == 0) {
                auto d = std::make_unique<CMyFontDialog>(BannerProperties{}, recorded.services());
                frame = d->FrameSize();
                dialog = std::move(d);
            } else if (which == 1) {
                auto d = std::make_unique<CMyTimeDialog>(DateTimeProperties{}, recorded.services());
                frame = d->FrameSize();
                dialog = std::move(d);
            } else {
                auto d =
                    std::make_unique<LogoPropertiesDialog>(LogoProperties{}, recorded.services());
                frame = d->FrameSize();
                dialog = std::move(d);
            }
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " dialog " << which);
            EXPECT_EQ(recorded.sizeNotices, c.notice ? 1 : 0);
            EXPECT_EQ(frame, QSize(c.width, c.height));
        }
    }
    // A grab that left something unreadable counts as failed too.
    RecordedServices recorded;
    recorded.framePath = dir.file("not-a-bitmap.bmp");
    CMyFontDialog dialog(BannerProperties{}, recorded.services());
    EXPECT_EQ(recorded.sizeNotices, 1);
    EXPECT_EQ(dialog.FrameSize(), QSize(0, 0));
}
