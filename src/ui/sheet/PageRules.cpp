#include "ui/sheet/PageRules.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace vistrel {

namespace {

std::optional<long long> ParseDigits(const QString& text, bool allowMinus)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || (allowMinus && t[i] == u'-'))) {
        negative = t[i] == u'-';
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    long long value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9')
            return std::nullopt;
        value = value * 10 + (t[i].unicode() - u'0');
        if (value > 1LL + INT_MAX)
            return std::nullopt;
    }
    return negative ? -value : value;
}

} // namespace

std::optional<int> ParseInteger(const QString& text)
{
    const auto v = ParseDigits(text, true);
    if (!v || *v < INT_MIN || *v > INT_MAX)
        return std::nullopt;
    return static_cast<int>(*v);
}

std::optional<int> ParseNonNegativeInteger(const QString& text)
{
    const auto v = ParseDigits(text, false);
    if (!v || *v > INT_MAX)
        return std::nullopt;
    return static_cast<int>(*v);
}

QString EnterIntegerBetweenText(int low, int high)
{
    return QStringLiteral("Please enter an integer between %1 and %2.").arg(low).arg(high);
}

QString EnterNoMoreThanText(int characters)
{
    return QStringLiteral("Please enter no more than %1 characters.").arg(characters);
}

QString PasswordTooLongText()
{
    return QStringLiteral("This password is too long to be stored. Please enter a shorter one.");
}

int IntervalUnitSeconds(int unitIndex)
{
    switch (unitIndex) {
    case 1:
        return 60;
    case 2:
        return 3600;
    default:
        return 1;
    }
}

QString ArchiveTimeText(int archiveInterval, int captureInterval, int unitIndex)
{
    // 32-bit arithmetic that wraps instead of overflowing.
    const auto product = static_cast<std::uint32_t>(archiveInterval) *
                         static_cast<std::uint32_t>(captureInterval) *
                         static_cast<std::uint32_t>(IntervalUnitSeconds(unitIndex));
    const auto seconds = static_cast<std::int32_t>(product);
    char text[64];
    if (seconds >= 86400)
        std::snprintf(text, sizeof text, "(%.1f days)",
                      static_cast<double>(static_cast<float>(seconds) * (1.0f / 86400.0f)));
    else if (seconds >= 3600)
        std::snprintf(text, sizeof text, "(%.1f hours)",
                      static_cast<double>(static_cast<float>(seconds) * (1.0f / 3600.0f)));
    else if (seconds < 60)
        std::snprintf(text, sizeof text, "(%d seconds)", seconds);
    else
        std::snprintf(text, sizeof text, "(%.1f minutes)",
                      static_cast<double>(static_cast<float>(seconds) * (1.0f / 60.0f)));
    return QString::fromLatin1(text);
}

QString TimePickerFormat(const QString& localeTimeFormat)
{
    const bool twentyFour = localeTimeFormat.contains(u'H');
    // The separator is what stands between the hour field and the minute field.
    QString separator;
    const qsizetype hour = localeTimeFormat.indexOf(twentyFour ? u'H' : u'h');
    const qsizetype minute = localeTimeFormat.indexOf(u'm');
    if (hour >= 0 && minute > hour) {
        qsizetype from = hour;
        while (from < minute && localeTimeFormat[from].toLower() == u'h')
            ++from;
        // A quoted literal ("H'h'mm") stays quoted: the picker reads the same format syntax.
        separator = localeTimeFormat.mid(from, minute - from);
    }
    if (separator.isEmpty())
        separator = QStringLiteral(":");
    return twentyFour ? QStringLiteral("HH") + separator + QStringLiteral("mm")
                      : QStringLiteral("h") + separator + QStringLiteral("mm AP");
}

bool HasJpgExtension(const QString& fileName)
{
    const qsizetype slash = std::max(fileName.lastIndexOf(u'/'), fileName.lastIndexOf(u'\\'));
    const QString last = fileName.mid(slash + 1);
    const qsizetype dot = last.lastIndexOf(u'.');
    return dot >= 0 && last.mid(dot).compare(QStringLiteral(".jpg"), Qt::CaseInsensitive) == 0;
}

} // namespace vistrel
