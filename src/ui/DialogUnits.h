#pragma once

#include <QRect>

class QFont;

namespace vistrel {

// The windows are laid out in dialog units, which scale with the dialog font: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an eighth of its height.
struct DialogBaseUnits {
    int x = 0; // average character width in pixels
    int y = 0; // character height in pixels
};

// The base units of font: the average width of the 52 letters A–Z and a–z, rounded, and the
// font's height.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// A rectangle given in dialog units, in pixels (each edge rounded to the nearest pixel).
QRect DialogUnitsToPixels(const DialogBaseUnits& units, int x, int y, int cx, int cy);

} // namespace vistrel
