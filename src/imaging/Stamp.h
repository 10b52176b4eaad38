#pragma once

#include "config/KeyCatalogue.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <string>

namespace vistrel {

// A stamp font as the settings store it, in logical-font terms: a negative height is the
// character height in pixels, a positive one the cell height (ascent + descent), 0 the default
// size; weight 400 is regular and 700 bold; width 0 is the natural width, another value the
// average character width in pixels.
struct FontRecord {
    std::string face;
    // The banner font's defaults from the key table (the date/time stamp's are the same).
    int height = keys::ImageOptions::FontHeight.programDefaultInt();
    int width = keys::ImageOptions::FontWidth.programDefaultInt();
    int weight = keys::ImageOptions::FontWeight.programDefaultInt();
    bool italic = keys::ImageOptions::FontItalic.programDefaultFlag();
};

// A stamp font as the program assumes it when the settings file has none of its keys.
inline FontRecord DefaultFont(const keys::FontKeys& k)
{
    return {std::string(k.face.programDefault), k.height.programDefaultInt(),
            k.width.programDefaultInt(), k.weight.programDefaultInt(),
            k.italic.programDefaultFlag()};
}

// The largest font height and width a record gives, in pixels (larger values are taken as this).
inline constexpr int kMaxFontPixels = 1000;

// Top-left corner of a logo for the nine logo alignment codes (0 and unknown codes: top left).
// Logos larger than the picture get negative coordinates; the drawing clips them.
struct OverlayPoint {
    int x;
    int y;
    bool operator==(const OverlayPoint&) const = default;
};
OverlayPoint OverlayPosition(int code, int logoWidth, int logoHeight, int imageWidth,
                             int imageHeight);

// How a stamp's lines are laid out: by its alignment code (top codes wrap, bottom codes stay on
// one line), as on the picture; or on one line at the top or bottom, as the date/time dialog's
// sample shows it.
enum class StampLines { ByAlignment, SingleLine };

// Qt text flags for the six banner/stamp alignment codes: codes 0–2 word-wrap at the top, codes
// 3–5 stay on one line at the bottom; code mod 3 is left, centre, right. "&" works as a mnemonic
// marker, so "&&" draws one "&". SingleLine keeps the top codes on one line too.
int StampTextFlags(int alignment, StampLines lines = StampLines::ByAlignment);

// The date/time stamp for the six layouts (other codes behave as 0): date, one space, time; each
// part cut to 63 characters. Dates come from the locale's short or long format, or the picture
// "d MMM yyyy"; times are hours and minutes, or with seconds, in the locale's clock style.
QString DateTimeStampText(const QDateTime& when, int format, const QLocale& locale);

// The date/time stamp from a strftime pattern (ImageOptions/TimeFormat) for when, in when's own
// time zone; an empty text when the pattern gives nothing or more than 1023 characters.
QString PatternStampText(const QDateTime& when, const std::string& pattern);

// The time part's Qt format: the locale's short time format, without seconds; or with the
// seconds field added after the minutes, separated as the locale separates hours and minutes.
// Never a time-zone name.
QString StampTimeFormat(const QLocale& locale, bool seconds);

} // namespace vistrel
