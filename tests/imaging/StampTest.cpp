#include "imaging/Stamp.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QRegularExpression>
#include <QTimeZone>

#include <climits>

using namespace vistrel;

TEST(OverlayPosition, NineCodesAndClipping)
{
    EXPECT_EQ(OverlayPosition(8, 100, 50, 320, 240), (OverlayPoint{220, 190}));
    EXPECT_EQ(OverlayPosition(4, 100, 50, 320, 240), (OverlayPoint{110, 95}));
    EXPECT_EQ(OverlayPosition(2, 400, 50, 320, 240), (OverlayPoint{-80, 0}));
    EXPECT_EQ(OverlayPosition(0, 100, 50, 320, 240), (OverlayPoint{0, 0}));
    EXPECT_EQ(OverlayPosition(1, 100, 50, 320, 240), (OverlayPoint{110, 0}));
    EXPECT_EQ(OverlayPosition(3, 100, 50, 320, 240), (OverlayPoint{0, 95}));
    EXPECT_EQ(OverlayPosition(5, 100, 50, 320, 240), (OverlayPoint{220, 95}));
    EXPECT_EQ(OverlayPosition(6, 100, 50, 320, 240), (OverlayPoint{0, 190}));
    EXPECT_EQ(OverlayPosition(7, 100, 50, 320, 240), (OverlayPoint{110, 190}));
    EXPECT_EQ(OverlayPosition(9, 100, 50, 320, 240), (OverlayPoint{0, 0}));
    // Integer halves truncate towards zero.
    EXPECT_EQ(OverlayPosition(4, 101, 51, 321, 241), (OverlayPoint{110, 95}));
    EXPECT_EQ(OverlayPosition(4, 401, 51, 320, 240), (OverlayPoint{-40, 95}));
}

TEST(StampFont, LogicalFontMapping)
{
    const QFont f = MakeStampFont({"DejaVu Sans", -20, 0, 700, true});
    EXPECT_EQ(f.pixelSize(), 20);
    EXPECT_EQ(f.weight(), QFont::Bold);
    EXPECT_TRUE(f.italic());
    const QFont regular = MakeStampFont({"DejaVu Sans", -13, 0, 400, false});
    EXPECT_EQ(regular.weight(), QFont::Normal);

    // A positive height is the cell height: the em size comes out smaller.
    const QFont cell = MakeStampFont({"DejaVu Sans", 20, 0, 400, false});
    EXPECT_LT(cell.pixelSize(), 20);
    EXPECT_GT(cell.pixelSize(), 12);

    const QFont longName = MakeStampFont({std::string(40, 'x'), -13, 0, 400, false});
    EXPECT_EQ(longName.families().front().size(), 31);

    // Any number a settings file holds gives a drawable font.
    for (int height : {INT_MIN, -5000, 5000, INT_MAX}) {
        const QFont huge = MakeStampFont({"DejaVu Sans", height, INT_MAX, 700, false});
        EXPECT_GE(huge.pixelSize(), 1) << height;
        EXPECT_LE(huge.pixelSize(), kMaxFontPixels) << height;
        EXPECT_LE(huge.stretch(), 4000);
    }
    EXPECT_EQ(MakeStampFont({"DejaVu Sans", INT_MIN, 0, 700, false}).pixelSize(), kMaxFontPixels);
}

TEST(StampText, AlignmentFlags)
{
    EXPECT_EQ(StampTextFlags(0),
              Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    EXPECT_EQ(StampTextFlags(1) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(StampTextFlags(5),
              Qt::TextShowMnemonic | Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine);
    EXPECT_EQ(StampTextFlags(4) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

namespace {

QImage blank(int w = 320, int h = 240)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(0, 0, 255));
    return img;
}

QRect inkBounds(const QImage& img, QRgb background = qRgb(0, 0, 255))
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != background)
                r |= QRect(x, y, 1, 1);
    return r;
}

QImage draw(const QString& text, int alignment, bool shadow, std::uint32_t colour = 0xFFFFFF)
{
    QImage img = blank();
    QPainter p(&img);
    p.setFont(MakeStampFont({"DejaVu Sans", -16, 0, 700, false}));
    DrawStampText(p, text, img.width(), img.height(), alignment, shadow, colour);
    return img;
}

} // namespace

TEST(StampText, ShadowLiesOnePixelRightAndDownInBlack)
{
    const QImage plain = draw("I", 0, false, 0x0000FF); // red text, as 0x00BBGGRR
    const QImage shadowed = draw("I", 0, true, 0x0000FF);
    const QRect ink = inkBounds(plain);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_EQ(plain.pixel(ink.center()), qRgb(255, 0, 0));
    // Below the text's lowest row the shadow shows, and only there.
    const QRect shadowInk = inkBounds(shadowed);
    EXPECT_EQ(shadowInk.bottom(), ink.bottom() + 1);
    EXPECT_EQ(shadowInk.right(), ink.right() + 1);
    // A fully inked pixel whose lower-right neighbour is background casts an exact black shadow.
    int checked = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            if (plain.pixel(x, y) == qRgb(255, 0, 0) &&
                plain.pixel(x + 1, y + 1) == qRgb(0, 0, 255)) {
                EXPECT_EQ(shadowed.pixel(x + 1, y + 1), qRgb(0, 0, 0));
                ++checked;
            }
    EXPECT_GT(checked, 0);
}

TEST(StampText, TopCodesWrapAndBottomCodesStayOnOneLine)
{
    const QString longText = QString("a long banner text that cannot fit ").repeated(3);
    const QRect top = inkBounds(draw(longText, 1, false));
    const QRect bottom = inkBounds(draw(longText, 4, false));
    EXPECT_EQ(top.top() < 10, true);
    EXPECT_GT(top.height(), 40);    // several lines
    EXPECT_LT(bottom.height(), 25); // one line
    EXPECT_GT(bottom.bottom(), 225);
}

TEST(StampText, DoubleAmpersandDrawsOneAndEmptyTextDrawsNothing)
{
    const QImage doubled = draw("A&&B", 0, false);
    QImage literal = blank();
    {
        QPainter p(&literal);
        p.setFont(MakeStampFont({"DejaVu Sans", -16, 0, 700, false}));
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, 319, 239), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, "A&B");
    }
    EXPECT_EQ(doubled, literal);
    EXPECT_TRUE(inkBounds(draw("", 0, true)).isEmpty());
}

TEST(DateTimeStamp, SixLayoutsInAFixedLocale)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QDateTime when(QDate(2026, 12, 8), QTime(14, 5, 9));
    EXPECT_EQ(DateTimeStampText(when, 0, us), "12/8/26 2:05 PM");
    EXPECT_EQ(DateTimeStampText(when, 1, us), "12/8/26 2:05:09 PM");
    EXPECT_EQ(DateTimeStampText(when, 2, us), "8 Dec 2026 2:05 PM");
    EXPECT_EQ(DateTimeStampText(when, 3, us), "8 Dec 2026 2:05:09 PM");
    EXPECT_EQ(DateTimeStampText(when, 4, us), "Tuesday, December 8, 2026 2:05 PM");
    EXPECT_EQ(DateTimeStampText(when, 5, us), "Tuesday, December 8, 2026 2:05:09 PM");
    EXPECT_EQ(DateTimeStampText(when, 7, us), DateTimeStampText(when, 0, us));
    EXPECT_EQ(DateTimeStampText(when, -1, us), DateTimeStampText(when, 0, us));

    // The C locale's short time has seconds; layouts without seconds still show none.
    EXPECT_EQ(DateTimeStampText(when, 0, QLocale::c()), "8 Dec 2026 14:05");
    EXPECT_EQ(DateTimeStampText(when, 1, QLocale::c()), "8 Dec 2026 14:05:09");

    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(DateTimeStampText(when, 1, de), "08.12.26 14:05:09");
}

namespace {

// The unquoted pattern letters of a Qt format.
QString patternLetters(const QString& format)
{
    QString letters;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c.isLetter())
            letters += c;
    }
    return letters;
}

// A separator left hanging at either end, or beside a blank. A dot right after a letter (or a
// vowel sign) ends an abbreviation ("Kl. 14.37", "14:37 ч.") and is fine.
bool hasDanglingSeparator(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!QStringLiteral(":.,;-").contains(c))
            continue;
        if (c == QLatin1Char('.') && i > 0 && (text[i - 1].isLetter() || text[i - 1].isMark()))
            continue;
        if (i == 0 || i == text.size() - 1 || text[i - 1].isSpace() || text[i + 1].isSpace())
            return true;
    }
    return false;
}

} // namespace

TEST(DateTimeStamp, SecondsFormInEveryLocaleIsTheShortFormWithSecondsAdded)
{
    const QTime t(14, 37, 52);
    const QDateTime when(QDate(2026, 12, 8), t);
    int checked = 0;
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        SCOPED_TRACE(locale.name().toStdString() + " short \"" +
                     locale.timeFormat(QLocale::ShortFormat).toStdString() + "\"");
        const QString withSeconds = StampTimeFormat(locale, true);
        const QString without = StampTimeFormat(locale, false);
        EXPECT_FALSE(patternLetters(withSeconds).contains(QLatin1Char('t'))); // no zone name
        EXPECT_FALSE(patternLetters(without).contains(QLatin1Char('s')));

        // The same style as the form without seconds, with the seconds after the minutes.
        const QString sec = locale.toString(t, withSeconds);
        const QString plain = locale.toString(t, without);
        const QString minutes = locale.toString(t, QStringLiteral("mm"));
        const QString seconds = locale.toString(t, QStringLiteral("ss"));
        const qsizetype at = plain.indexOf(minutes);
        ASSERT_GE(at, 0) << plain.toStdString();
        const QString head = plain.left(at + minutes.size());
        const QString tail = plain.mid(head.size());
        ASSERT_TRUE(sec.startsWith(head) && sec.endsWith(tail))
            << plain.toStdString() << " / " << sec.toStdString();
        const QString added = sec.mid(head.size(), sec.size() - head.size() - tail.size());
        EXPECT_TRUE(added.endsWith(seconds) && added.size() > seconds.size()) << sec.toStdString();

        EXPECT_FALSE(hasDanglingSeparator(sec)) << sec.toStdString();
        EXPECT_FALSE(sec.contains(QRegularExpression(QStringLiteral("[\\[\\]()（）]"))))
            << sec.toStdString();
        // The stamp is the date and exactly this time.
        EXPECT_TRUE(DateTimeStampText(when, 5, locale).endsWith(QLatin1Char(' ') + sec));
        ++checked;
    }
    EXPECT_GT(checked, 300); // Qt knows some six hundred
}

TEST(DateTimeStamp, StrftimePatternUsesThePictureTimeAndItsZone)
{
    const QDateTime when(QDate(2026, 12, 8), QTime(14, 5, 9), QTimeZone(3600));
    const struct {
        const char* pattern;
        const char* text;
    } cases[] = {
        {"%d.%m.%Y %H:%M:%S", "08.12.2026 14:05:09"},
        {"%w %j %u", "2 342 2"}, // weekday and day of the year from the date itself
        {"%z", "+0100"},         // the picture's zone, not the machine's
        {"cam %%", "cam %"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PatternStampText(when, c.pattern).toStdString(), c.text) << c.pattern;
    // A result longer than a stamp may be is refused whole, not cut.
    EXPECT_EQ(PatternStampText(when, std::string(600, 'x') + "%Y" + std::string(600, 'y')), "");
}
