#include "imaging/Stamp.h"

#include "platform/TimePattern.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vistrel {

namespace {

constexpr int kMaxDateTimePart = 63;

} // namespace

OverlayPoint OverlayPosition(int code, int logoWidth, int logoHeight, int imageWidth,
                             int imageHeight)
{
    const int centreX = imageWidth / 2 - logoWidth / 2;
    const int rightX = imageWidth - logoWidth;
    const int middleY = imageHeight / 2 - logoHeight / 2;
    const int bottomY = imageHeight - logoHeight;
    switch (code) {
    case 1:
        return {centreX, 0};
    case 2:
        return {rightX, 0};
    case 3:
        return {0, middleY};
    case 4:
        return {centreX, middleY};
    case 5:
        return {rightX, middleY};
    case 6:
        return {0, bottomY};
    case 7:
        return {centreX, bottomY};
    case 8:
        return {rightX, bottomY};
    default:
        return {0, 0};
    }
}

int StampTextFlags(int alignment, StampLines lines)
{
    int flags = Qt::TextShowMnemonic;
    const int horizontal = ((alignment % 3) + 3) % 3;
    flags |= horizontal == 0 ? Qt::AlignLeft : horizontal == 1 ? Qt::AlignHCenter : Qt::AlignRight;
    if (alignment >= 0 && alignment <= 2 && lines == StampLines::ByAlignment)
        flags |= Qt::AlignTop | Qt::TextWordWrap;
    else if (alignment >= 0 && alignment <= 2)
        flags |= Qt::AlignTop | Qt::TextSingleLine;
    else
        flags |= Qt::AlignBottom | Qt::TextSingleLine;
    return flags;
}

namespace {

// An unquoted run of one pattern letter in a Qt date/time format ("mm" in "h:mm AP").
struct FormatField {
    QChar letter;
    qsizetype begin = 0;
    qsizetype end = 0;
};

// The pattern fields of a format; quoted literals ('h', 'o''clock') are skipped.
std::vector<FormatField> formatFields(const QString& f)
{
    std::vector<FormatField> fields;
    for (qsizetype i = 0; i < f.size();) {
        if (f[i] == QLatin1Char('\'')) {
            for (++i; i < f.size(); ++i) {
                if (f[i] == QLatin1Char('\'')) {
                    if (i + 1 < f.size() && f[i + 1] == QLatin1Char('\'')) {
                        ++i; // '' inside quotes is one quote
                        continue;
                    }
                    break;
                }
            }
            ++i;
        } else if (f[i].isLetter()) {
            const qsizetype begin = i;
            while (i < f.size() && f[i] == f[begin])
                ++i;
            fields.push_back({f[begin], begin, i});
        } else {
            ++i;
        }
    }
    return fields;
}

const FormatField* findField(const std::vector<FormatField>& fields, const QString& letters,
                             qsizetype from = 0)
{
    for (const FormatField& field : fields) {
        if (field.begin >= from && letters.contains(field.letter))
            return &field;
    }
    return nullptr;
}

bool isPlainSeparator(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.isLetterOrNumber() || c == QLatin1Char('\''))
            return false;
    }
    return true;
}

// The seconds form: the locale's short format (the one the layouts without seconds use) with the
// seconds field added after the minutes. The separator is the one between hours and minutes;
// where that is a word ("HH 'h' mm"), the one the locale's long format puts between minutes and
// seconds; ':' when neither will do. Qt's long format itself is no choice: it carries a zone
// name, and in some locales a whole other style ("H時mm分ss秒 t" beside "H:mm").
QString timeFormatWithSeconds(const QLocale& locale)
{
    const QString f = locale.timeFormat(QLocale::ShortFormat);
    const auto fields = formatFields(f);
    if (findField(fields, QStringLiteral("s")))
        return f; // some locales (C among them) show seconds in their short format
    const FormatField* minutes = findField(fields, QStringLiteral("m"));
    if (!minutes)
        return f + QStringLiteral(":ss");
    const FormatField* hours = nullptr;
    for (const FormatField& field : fields) {
        if (field.end <= minutes->begin &&
            (field.letter == QLatin1Char('h') || field.letter == QLatin1Char('H')))
            hours = &field;
    }
    QString separator = hours ? f.mid(hours->end, minutes->begin - hours->end) : QString();
    if (!isPlainSeparator(separator)) {
        const QString longFormat = locale.timeFormat(QLocale::LongFormat);
        const auto longFields = formatFields(longFormat);
        const FormatField* longMinutes = findField(longFields, QStringLiteral("m"));
        const FormatField* longSeconds =
            longMinutes ? findField(longFields, QStringLiteral("s"), longMinutes->end) : nullptr;
        separator = longSeconds && longSeconds->begin > longMinutes->end
                        ? longFormat.mid(longMinutes->end, longSeconds->begin - longMinutes->end)
                        : QString();
        // Only pattern-free text will do ('min' is fine, a zone or an hour field is not).
        if (separator.isEmpty() || !formatFields(separator).empty())
            separator = QStringLiteral(":");
    }
    return f.left(minutes->end) + separator + QStringLiteral("ss") + f.mid(minutes->end);
}

} // namespace

QString StampTimeFormat(const QLocale& locale, bool seconds)
{
    if (seconds)
        return timeFormatWithSeconds(locale);
    // Some locales (C among them) show seconds even in their short format.
    QString f = locale.timeFormat(QLocale::ShortFormat);
    f.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
    return f;
}

QString DateTimeStampText(const QDateTime& when, int format, const QLocale& locale)
{
    if (format < 1 || format > 5)
        format = 0;
    QString date;
    switch (format / 2) {
    case 0:
        date = locale.toString(when.date(), QLocale::ShortFormat);
        break;
    case 1:
        date = locale.toString(when.date(), QStringLiteral("d MMM yyyy"));
        break;
    default:
        date = locale.toString(when.date(), QLocale::LongFormat);
        break;
    }
    const QString time = locale.toString(when.time(), StampTimeFormat(locale, format % 2 == 1));
    return date.left(kMaxDateTimePart) + QLatin1Char(' ') + time.left(kMaxDateTimePart);
}

QString PatternStampText(const QDateTime& when, const std::string& pattern)
{
    // The fields come from when itself, not from the machine's clock and zone: a stamp shows the
    // time the picture was taken as the caller gives it.
    const QDate d = when.date();
    const QTime t = when.time();
    std::tm tm{};
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_hour = t.hour();
    tm.tm_min = t.minute();
    tm.tm_sec = t.second();
    tm.tm_wday = d.dayOfWeek() % 7;
    tm.tm_yday = d.dayOfYear() - 1;
    tm.tm_isdst = when.isDaylightTime() ? 1 : 0;
    tm.tm_gmtoff = when.offsetFromUtc();
    const std::string zone = when.timeZoneAbbreviation().toStdString();
    tm.tm_zone = zone.c_str();
    return QString::fromLocal8Bit(FormatTimePattern(pattern, tm));
}

} // namespace vistrel
