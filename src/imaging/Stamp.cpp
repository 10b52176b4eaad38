#include "imaging/Stamp.h"

#include "platform/TimePattern.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vistrel {

namespace {

constexpr int kDefaultPixelSize = 16; // the size of a display context's own font
constexpr int kMaxFaceName = 31;
constexpr int kMaxDateTimePart = 63;

} // namespace

QFont MakeStampFont(const FontRecord& record)
{
    QFont font;
    const QString face = QString::fromStdString(record.face).left(kMaxFaceName);
    if (!face.isEmpty())
        font.setFamilies({face, QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    else
        font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);

    const int weight = record.weight <= 0 ? 400 : std::clamp(record.weight, 1, 1000);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(record.italic);

    // Any stored number is taken (-2147483648 cannot be negated), but within a drawable range.
    const int height = std::clamp(record.height, -kMaxFontPixels, kMaxFontPixels);
    if (height < 0) {
        font.setPixelSize(-height);
    } else if (height > 0) {
        // A cell height includes the internal leading: scale the em size so that ascent +
        // descent of the chosen face match the requested cell.
        font.setPixelSize(100);
        const QFontMetricsF m(font);
        const double cell = m.ascent() + m.descent();
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(height * 100.0 / cell))));
    } else {
        font.setPixelSize(kDefaultPixelSize);
    }

    if (record.width > 0) {
        const QFontMetricsF m(font);
        const double natural = m.averageCharWidth();
        const int width = std::min(record.width, kMaxFontPixels);
        if (natural > 0)
            font.setStretch(
                std::clamp(static_cast<int>(std::lround(width * 100.0 / natural)), 1, 4000));
    }
    return font;
}

QColor ColorFromColorRef(std::uint32_t colorref)
{
    return QColor(static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
                  static_cast<int>((colorref >> 16) & 0xFF));
}

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

int StampTextFlags(int alignment)
{
    int flags = Qt::TextShowMnemonic;
    const int horizontal = ((alignment % 3) + 3) % 3;
    flags |= horizontal == 0 ? Qt::AlignLeft : horizontal == 1 ? Qt::AlignHCenter : Qt::AlignRight;
    if (alignment >= 0 && alignment <= 2)
        flags |= Qt::AlignTop | Qt::TextWordWrap;
    else
        flags |= Qt::AlignBottom | Qt::TextSingleLine;
    return flags;
}

int StampTextFlags(int alignment, StampLines lines)
{
    int flags = StampTextFlags(alignment);
    if (lines == StampLines::SingleLine)
        flags = (flags & ~Qt::TextWordWrap) | Qt::TextSingleLine;
    return flags;
}

void DrawStamp(QPainter& painter, const FontRecord& font, const QString& text, int width,
               int height, int alignment, bool shadow, std::uint32_t colorref, StampLines lines)
{
    const QFont previous = painter.font();
    if (!font.face.empty())
        painter.setFont(MakeStampFont(font));
    DrawStampTextWithFlags(painter, text, width, height, StampTextFlags(alignment, lines), shadow,
                           colorref);
    painter.setFont(previous);
}

void DrawStampText(QPainter& painter, const QString& text, int width, int height, int alignment,
                   bool shadow, std::uint32_t colorref)
{
    DrawStampTextWithFlags(painter, text, width, height, StampTextFlags(alignment), shadow,
                           colorref);
}

void DrawStampTextWithFlags(QPainter& painter, const QString& text, int width, int height,
                            int flags, bool shadow, std::uint32_t colorref)
{
    if (text.isEmpty())
        return;
    painter.setBackgroundMode(Qt::TransparentMode);
    if (shadow) {
        painter.setPen(Qt::black);
        painter.drawText(QRect(1, 1, width - 1, height - 1), flags, text);
    }
    painter.setPen(ColorFromColorRef(colorref));
    painter.drawText(QRect(0, 0, width - 1, height - 1), flags, text);
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
