#pragma once

// Banners and date/time stamps drawn onto a picture in memory with the machine's fonts
// (fontconfig finds the face, FreeType draws the glyphs), without a display or a GUI toolkit: the
// pipeline draws into its RgbImage with this, the stamp dialogs into their samples' QImages.

#include "imaging/PixelView.h"
#include "imaging/Stamp.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace vistrel {

// A font record resolved on this machine. The face name is cut to 31 characters; a face the
// machine lacks falls back to "DejaVu Sans", then to the default sans-serif face, so a stamp is
// always drawn. A negative height is the em size in pixels, a positive one the cell height
// (ascent + descent of the chosen face), 0 16 pixels; heights and widths beyond kMaxFontPixels
// either way are clamped to it. Weight 700 and more draws the face's bold (emboldened when it
// has none), italic its italic or oblique (slanted when it has neither); a width above 0
// stretches the glyphs so that the average character is that wide.
class StampFont {
  public:
    explicit StampFont(const FontRecord& record);
    ~StampFont();
    StampFont(StampFont&&) noexcept;
    StampFont& operator=(StampFont&&) noexcept;

    // False only when the machine has no usable font at all: such a font draws nothing.
    bool valid() const;
    const std::string& family() const; // the face asked for, cut to 31 characters
    std::string file() const;          // the font file drawn with
    int pixelSize() const;             // em size
    int stretch() const;               // percent of the natural width
    bool bold() const;
    bool italic() const;
    bool syntheticBold() const;   // the face has no bold: its outlines are emboldened
    bool syntheticItalic() const; // the face has no italic: its outlines are slanted
    // Line metrics of the face in pixels, unrounded.
    double ascent() const;
    double descent() const;
    double leading() const;

    struct Impl; // the faces, for the drawing

  private:
    std::unique_ptr<Impl> d;
    friend void DrawStampTextWithFlags(const PixelView&, const StampFont&, const QString&, int,
                                       bool, std::uint32_t);
};

// The font for a record, resolved once and kept with the few last used (the pipeline and the
// dialogs draw the same fonts again and again). Fonts installed later are not seen for a record
// already kept.
std::shared_ptr<const StampFont> CachedStampFont(const FontRecord& record);

// The font a stamp with an empty face name is drawn in: the default face, 16 pixels, bold.
FontRecord DefaultStampDrawingFont();

// Draws text over the whole view laid out by StampTextFlags flags: the shadow (black, one pixel
// right and down) when asked, then the text in its colour (0x00BBGGRR), antialiased, with no
// background box. Lines are as high as the face's ascent + descent, the face's leading between
// them; a top code wraps at spaces within the width (a word wider than that overflows) and at
// newlines; "&x" draws x underlined and "&&" one "&". The text stays one pixel inside the right
// and bottom edges, the shadow one pixel inside the left and top edges.
void DrawStampTextWithFlags(const PixelView& view, const StampFont& font, const QString& text,
                            int flags, bool shadow, std::uint32_t colorref);

// Draws a banner or date/time stamp in its own font over the view, as the pipeline stamps a
// picture: an empty face name draws in DefaultStampDrawingFont(). The stamp dialogs draw their
// samples with this too.
void DrawStamp(const PixelView& view, const FontRecord& font, const QString& text, int alignment,
               bool shadow, std::uint32_t colorref, StampLines lines = StampLines::ByAlignment);

} // namespace vistrel
