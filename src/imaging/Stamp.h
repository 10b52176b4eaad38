#pragma once

#include "config/KeyCatalogue.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QLocale>
#include <QPainter>
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

// The Qt font for a font record. The face name is cut to 31 characters; a face the machine lacks
// falls back to the default sans-serif face, so a stamp is always drawn. Heights and widths
// beyond kMaxFontPixels either way are clamped to it.
QFont MakeStampFont(const FontRecord& record);

// A stored colour value (0x00BBGGRR) as a QColor.
QColor ColorFromColorRef(std::uint32_t colorref);

// Top-left corner of a logo for the nine logo alignment codes (0 and unknown codes: top left).
// Logos larger than the picture get negative coordinates; the drawing clips them.
struct OverlayPoint {
    int x;
    int y;
    bool operator==(const OverlayPoint&) const = default;
};
OverlayPoint OverlayPosition(int code, int logoWidth, int logoHeight, int imageWidth,
                             int imageHeight);

// Qt text flags for the six banner/stamp alignment codes: codes 0–2 word-wrap at the top, codes
// 3–5 stay on one line at the bottom; code mod 3 is left, centre, right. "&" works as a mnemonic
// marker, so "&&" draws one "&".
int StampTextFlags(int alignment);

// Draws a banner or stamp over a picture of width × height: the shadow (black, one pixel right
// and down) when asked, then the text in its colour, with no background box.
void DrawStampText(QPainter& painter, const QString& text, int width, int height, int alignment,
                   bool shadow, std::uint32_t colorref);

// How a stamp's lines are laid out: by its alignment code (top codes wrap, bottom codes stay on
// one line), as on the picture; or on one line at the top or bottom, as the date/time dialog's
// sample shows it.
enum class StampLines { ByAlignment, SingleLine };

// The text flags of an alignment code for a layout (ByAlignment gives StampTextFlags(alignment)).
int StampTextFlags(int alignment, StampLines lines);

// DrawStampText with the text flags given.
void DrawStampTextWithFlags(QPainter& painter, const QString& text, int width, int height,
                            int flags, bool shadow, std::uint32_t colorref);

// Draws a banner or date/time stamp in its own font over a picture of width × height, as the
// pipeline stamps a picture: an empty face name keeps the painter's font; the painter's font is
// put back afterwards. The stamp dialogs draw their samples with this too.
void DrawStamp(QPainter& painter, const FontRecord& font, const QString& text, int width,
               int height, int alignment, bool shadow, std::uint32_t colorref,
               StampLines lines = StampLines::ByAlignment);

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
