#include "imaging/Stamp.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QRegularExpression>

#include <cmath>

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

    if (record.height < 0) {
        font.setPixelSize(-record.height);
    } else if (record.height > 0) {
        // A cell height includes the internal leading: scale the em size so that ascent +
        // descent of the chosen face match the requested cell.
        font.setPixelSize(100);
        const QFontMetricsF m(font);
        const double cell = m.ascent() + m.descent();
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(record.height * 100.0 / cell))));
    } else {
        font.setPixelSize(kDefaultPixelSize);
    }

    if (record.width > 0) {
        const QFontMetricsF m(font);
        const double natural = m.averageCharWidth();
        if (natural > 0)
            font.setStretch(
                std::clamp(static_cast<int>(std::lround(record.width * 100.0 / natural)), 1, 4000));
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

// The locale's time format with or without seconds, without the time-zone name that Qt's long
// format carries.
QString timeFormat(const QLocale& locale, bool seconds)
{
    if (!seconds) {
        // Some locales (C among them) show seconds even in their short format.
        QString f = locale.timeFormat(QLocale::ShortFormat);
        f.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
        return f;
    }
    QString f = locale.timeFormat(QLocale::LongFormat);
    f.remove(QRegularExpression(QStringLiteral("\\s*\\(?t+\\)?")));
    f = f.trimmed();
    if (!f.contains(QLatin1Char('s'))) // a locale whose long format lacks seconds
        f = locale.timeFormat(QLocale::ShortFormat) + QStringLiteral(":ss");
    return f;
}

} // namespace

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
    const QString time = locale.toString(when.time(), timeFormat(locale, format % 2 == 1));
    return date.left(kMaxDateTimePart) + QLatin1Char(' ') + time.left(kMaxDateTimePart);
}

} // namespace vistrel
