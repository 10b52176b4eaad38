#include "imaging/Stamp.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTimeZone>

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

TEST(StampText, AlignmentFlags)
{
    EXPECT_EQ(StampTextFlags(0),
              Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    EXPECT_EQ(StampTextFlags(1) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(StampTextFlags(5),
              Qt::TextShowMnemonic | Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine);
    EXPECT_EQ(StampTextFlags(4) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    // A single-line sample keeps its edge; bottom codes are one line either way.
    EXPECT_EQ(StampTextFlags(2, StampLines::SingleLine),
              Qt::TextShowMnemonic | Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine);
    EXPECT_EQ(StampTextFlags(4, StampLines::SingleLine), StampTextFlags(4));
    EXPECT_EQ(StampTextFlags(2, StampLines::ByAlignment), StampTextFlags(2));
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
