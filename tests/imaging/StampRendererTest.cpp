// The stamp renderer against Qt's own text drawing, which the program stamped pictures with
// before: for each case both draw on a blue 320 × 240 picture, and their ink must cover the same
// box, in the same number of lines, with about as many inked pixels.
#include "imaging/StampRenderer.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <climits>
#include <cmath>

using namespace vistrel;

namespace {

constexpr int kW = 320, kH = 240;
const QRgb kBlue = qRgb(0, 0, 255);

// The Qt font the program used to make of a font record.
QFont qtFont(const FontRecord& record)
{
    QFont font;
    const QString face = QString::fromStdString(record.face).left(31);
    font.setFamilies(face.isEmpty() ? QStringList{"DejaVu Sans", "sans-serif"}
                                    : QStringList{face, "DejaVu Sans", "sans-serif"});
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(static_cast<QFont::Weight>(record.weight <= 0 ? 400 : record.weight));
    font.setItalic(record.italic);
    const int height = std::clamp(record.height, -kMaxFontPixels, kMaxFontPixels);
    if (height < 0) {
        font.setPixelSize(-height);
    } else if (height > 0) {
        font.setPixelSize(100);
        const QFontMetricsF m(font);
        font.setPixelSize(
            std::max(1, int(std::lround(height * 100.0 / (m.ascent() + m.descent())))));
    } else {
        font.setPixelSize(16);
    }
    if (record.width > 0) {
        const QFontMetricsF m(font);
        font.setStretch(
            std::clamp(int(std::lround(record.width * 100.0 / m.averageCharWidth())), 1, 4000));
    }
    return font;
}

QImage qtDrawn(const FontRecord& record, const QString& text, int flags, bool shadow,
               std::uint32_t colour)
{
    QImage img(kW, kH, QImage::Format_RGB32);
    img.fill(kBlue);
    QPainter p(&img);
    p.setFont(qtFont(record.face.empty() ? DefaultStampDrawingFont() : record));
    if (shadow) {
        p.setPen(Qt::black);
        p.drawText(QRect(1, 1, kW - 1, kH - 1), flags, text);
    }
    p.setPen(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    p.drawText(QRect(0, 0, kW - 1, kH - 1), flags, text);
    return img;
}

PixelView viewOf(QImage& img)
{
    return {img.bits(), img.width(), img.height(), img.bytesPerLine(), PixelOrder::Xrgb32};
}

QImage drawn(const FontRecord& record, const QString& text, int flags, bool shadow,
             std::uint32_t colour)
{
    QImage img(kW, kH, QImage::Format_RGB32);
    img.fill(kBlue);
    const StampFont font(record.face.empty() ? DefaultStampDrawingFont() : record);
    DrawStampTextWithFlags(viewOf(img), font, text, flags, shadow, colour);
    return img;
}

struct Ink {
    QRect box;
    int lines = 0;  // bands of inked rows
    int pixels = 0; // pixels away from the background
};

Ink inkOf(const QImage& img)
{
    Ink ink;
    bool inBand = false;
    for (int y = 0; y < img.height(); ++y) {
        bool rowInked = false;
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) != kBlue) {
                ink.box |= QRect(x, y, 1, 1);
                ++ink.pixels;
                rowInked = true;
            }
        }
        if (rowInked && !inBand)
            ++ink.lines;
        inBand = rowInked;
    }
    return ink;
}

} // namespace

TEST(StampRenderer, LaysOutAndDrawsAsQtDid)
{
    const FontRecord bold16{"DejaVu Sans", -16, 0, 700, false};
    const QString date = "Tuesday, December 8, 2026 2:05:09 PM";
    const QString threeLines = "Vistrel publishes the camera's picture to the web every minute";
    struct Case {
        const char* name;
        FontRecord font;
        QString text;
        int alignment;
        StampLines lines;
        bool shadow;
        int lineCount;
    };
    const Case cases[] = {
        {"top left", bold16, "Garden cam 12:05", 0, StampLines::ByAlignment, true, 1},
        {"top centre", bold16, "Garden cam 12:05", 1, StampLines::ByAlignment, true, 1},
        {"top right", bold16, "Garden cam 12:05", 2, StampLines::ByAlignment, true, 1},
        {"bottom left", bold16, "Garden cam 12:05", 3, StampLines::ByAlignment, true, 1},
        {"bottom centre", bold16, "Garden cam 12:05", 4, StampLines::ByAlignment, false, 1},
        {"bottom right", bold16, "Garden cam 12:05", 5, StampLines::ByAlignment, true, 1},
        {"pixel height", {"DejaVu Sans", -40, 0, 400, false}, "Wg 40", 0, {}, false, 1},
        {"cell height", {"DejaVu Sans", 40, 0, 400, false}, "Wg 40", 5, {}, false, 1},
        {"default height", {"DejaVu Sans", 0, 0, 400, false}, "Wg sixteen", 4, {}, false, 1},
        {"empty face", {"", -60, 0, 400, true}, "Default font", 0, {}, true, 1},
        {"missing face", {"No Such Face At All", -20, 0, 400, false}, "Fallback", 1, {}, false, 1},
        {"italic", {"DejaVu Sans", -30, 0, 400, true}, "Italic text", 0, {}, true, 1},
        {"bold italic", {"DejaVu Sans", -30, 0, 700, true}, "Bold italic", 2, {}, false, 1},
        {"synthetic bold italic",
         {"DejaVu Math TeX Gyre", -30, 0, 700, true},
         "Made up",
         0,
         {},
         false,
         1},
        {"narrow", {"DejaVu Sans", -24, 6, 400, false}, "Narrow letters", 1, {}, false, 1},
        {"wide", {"DejaVu Sans", -24, 20, 400, false}, "Wide", 3, {}, false, 1},
        {"a character the face lacks",
         {"DejaVu Sans", -24, 0, 400, false},
         QString::fromUcs4(U"Area \U0001D49C\U0001D49C"),
         0,
         {},
         false,
         1},
        {"mnemonics", {"DejaVu Sans", -24, 0, 400, false}, "&File && Co &", 0, {}, true, 1},
        {"three lines", {"DejaVu Sans", -28, 0, 400, false}, threeLines, 1, {}, true, 3},
        {"long date wraps", {"DejaVu Sans", -30, 0, 700, false}, date, 2, {}, false, 3},
        {"sample on one line",
         {"DejaVu Sans", -30, 0, 700, false},
         date,
         1,
         StampLines::SingleLine,
         false,
         1},
        {"newline", bold16, "First line\nsecond line", 0, {}, false, 2},
        {"newline on one line", bold16, "First line\nsecond", 4, {}, false, 1},
        {"word wider than the picture",
         {"DejaVu Sans", -40, 0, 400, false},
         "Overflowingwordthatdoesnotfit end",
         0,
         {},
         false,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int flags = StampTextFlags(c.alignment, c.lines);
        const Ink ours = inkOf(drawn(c.font, c.text, flags, c.shadow, 0xFFFFFF));
        const Ink qt = inkOf(qtDrawn(c.font, c.text, flags, c.shadow, 0xFFFFFF));
        EXPECT_EQ(ours.lines, c.lineCount);
        EXPECT_EQ(qt.lines, c.lineCount);
        const int tolerance = 1; // antialiasing may differ by a level
        EXPECT_NEAR(ours.box.left(), qt.box.left(), tolerance);
        EXPECT_NEAR(ours.box.right(), qt.box.right(), tolerance);
        EXPECT_NEAR(ours.box.top(), qt.box.top(), tolerance);
        EXPECT_NEAR(ours.box.bottom(), qt.box.bottom(), tolerance);
        EXPECT_NEAR(ours.pixels, qt.pixels, qt.pixels * 0.08);
    }
}

TEST(StampRenderer, SameDrawingOnAnRgbImageAndAQImage)
{
    const FontRecord font{"DejaVu Sans", -22, 0, 700, true};
    const int flags = StampTextFlags(1);
    const QString text = "Same & sample on both &pictures";
    const QImage sample = drawn(font, text, flags, true, 0x00FFFF);

    RgbImage picture = RgbImage::allocate(kW * kH * 3);
    for (std::size_t i = 0; i < picture.size(); i += 3)
        picture.data()[i + 2] = 255;
    DrawStampTextWithFlags(PixelView::Of(picture, kW, kH), StampFont(font), text, flags, true,
                           0x00FFFF);
    int differing = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const std::uint8_t* p = picture.data() + (y * kW + x) * 3;
            differing += sample.pixel(x, y) != qRgb(p[0], p[1], p[2]);
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(inkOf(sample).pixels, 500);
}

TEST(StampRenderer, ShadowLiesOnePixelRightAndDownInBlack)
{
    const FontRecord font{"DejaVu Sans", -16, 0, 700, false};
    const QImage plain = drawn(font, "I", StampTextFlags(0), false, 0x0000FF); // red, 0x00BBGGRR
    const QImage shadowed = drawn(font, "I", StampTextFlags(0), true, 0x0000FF);
    const QRect ink = inkOf(plain).box;
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_EQ(plain.pixel(ink.center()), qRgb(255, 0, 0));
    const QRect shadowInk = inkOf(shadowed).box;
    EXPECT_EQ(shadowInk.bottom(), ink.bottom() + 1);
    EXPECT_EQ(shadowInk.right(), ink.right() + 1);
    // A fully inked pixel whose lower-right neighbour is background casts an exact black shadow.
    int checked = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            if (plain.pixel(x, y) == qRgb(255, 0, 0) && plain.pixel(x + 1, y + 1) == kBlue) {
                EXPECT_EQ(shadowed.pixel(x + 1, y + 1), qRgb(0, 0, 0));
                ++checked;
            }
    EXPECT_GT(checked, 0);
}

TEST(StampRenderer, AmpersandsEmptyTextsAndTheEmptyFace)
{
    const FontRecord font{"DejaVu Sans", -16, 0, 700, false};
    EXPECT_EQ(drawn(font, "A&&B", StampTextFlags(0), false, 0xFFFFFF),
              drawn(font, "A&B", Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, false, 0xFFFFFF));
    EXPECT_EQ(inkOf(drawn(font, "", StampTextFlags(0), true, 0xFFFFFF)).pixels, 0);

    // An empty face draws in the default font whatever the record's other fields say.
    QImage viaRecord(kW, kH, QImage::Format_RGB32), viaEmpty(kW, kH, QImage::Format_RGB32);
    viaRecord.fill(kBlue);
    viaEmpty.fill(kBlue);
    DrawStamp(viewOf(viaRecord), DefaultStampDrawingFont(), "Wg", 0, false, 0xFFFFFF);
    DrawStamp(viewOf(viaEmpty), {"", -40, 30, 400, true}, "Wg", 0, false, 0xFFFFFF);
    EXPECT_EQ(viaRecord, viaEmpty);
}

TEST(StampFont, RecordRules)
{
    struct Case {
        FontRecord record;
        int pixelSize;
        const char* file; // the end of the font file's path
        bool syntheticBold, syntheticItalic;
    };
    const Case cases[] = {
        {{"DejaVu Sans", -20, 0, 700, true}, 20, "DejaVuSans-BoldOblique.ttf", false, false},
        {{"dejavu sans", -13, 0, 400, false}, 13, "DejaVuSans.ttf", false, false},
        {{"DejaVu Sans", 0, 0, 400, false}, 16, "DejaVuSans.ttf", false, false},
        {{"DejaVu Sans", 20, 0, 400, false}, 17, "DejaVuSans.ttf", false, false}, // cell height
        {{"DejaVu Sans Mono", -10, 0, 400, true}, 10, "DejaVuSansMono-Oblique.ttf", false, false},
        {{"DejaVu Math TeX Gyre", -10, 0, 700, true}, 10, "DejaVuMathTeXGyre.ttf", true, true},
        {{std::string(40, 'x'), -13, 0, 400, false}, 13, "DejaVuSans.ttf", false, false},
        // Any number a settings file holds gives a drawable font.
        {{"DejaVu Sans", INT_MIN, INT_MAX, 700, false}, kMaxFontPixels, "Bold.ttf", false, false},
        {{"DejaVu Sans", -5000, 0, 0, false}, kMaxFontPixels, "DejaVuSans.ttf", false, false},
        {{"DejaVu Sans", INT_MAX, 0, INT_MAX, false}, 859, "Bold.ttf", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record.face + " " + std::to_string(c.record.height));
        const StampFont font(c.record);
        ASSERT_TRUE(font.valid());
        EXPECT_EQ(font.pixelSize(), c.pixelSize);
        EXPECT_TRUE(font.file().ends_with(c.file)) << font.file();
        EXPECT_EQ(font.syntheticBold(), c.syntheticBold);
        EXPECT_EQ(font.syntheticItalic(), c.syntheticItalic);
        EXPECT_GE(font.stretch(), 1);
        EXPECT_LE(font.stretch(), 4000);
        // A cell height is ascent + descent.
        if (c.record.height > 0 && c.record.height < kMaxFontPixels) {
            EXPECT_NEAR(font.ascent() + font.descent(), c.record.height, 1.0);
        }
    }
    EXPECT_EQ(StampFont({std::string(40, 'x'), -13, 0, 400, false}).family().size(), 31u);
    // A width is the average character width: 8 pixels on a 16-pixel face is wider than natural.
    const StampFont natural({"DejaVu Sans", -16, 0, 400, false});
    const StampFont wide({"DejaVu Sans", -16, 16, 400, false});
    EXPECT_EQ(natural.stretch(), 100);
    EXPECT_GT(wide.stretch(), 150);
}
