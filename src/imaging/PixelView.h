#pragma once

#include "imaging/codec/ImgLib.h"
#include "imaging/codec/RgbImage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel {

// How a pixel lies in memory: three bytes red, green, blue (an RgbImage); or one native 32-bit
// word 0xAARRGGBB (a QImage in Format_RGB32 or ARGB32), whose alpha byte drawing leaves alone.
enum class PixelOrder { Rgb24, Xrgb32 };

// A picture in memory someone else owns, to draw on: rows top first, `stride` bytes apart.
struct PixelView {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    PixelOrder order = PixelOrder::Rgb24;

    // A view of an RgbImage of width × height; empty when the sizes do not match.
    static PixelView Of(RgbImage& image, unsigned width, unsigned height);

    bool empty() const { return data == nullptr || width <= 0 || height <= 0; }
    std::uint8_t* row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
    // Blends colour (red, green, blue) over the pixel at (x, y) by coverage 0–255; the caller
    // keeps (x, y) inside the picture.
    void blend(int x, int y, const std::uint8_t colour[3], unsigned coverage) const;
};

// The logo drawing of a composition, onto a picture: each copies or blends a whole RgbImage of
// width × height with its top-left corner at (x, y); what falls outside the picture is clipped.
// Codes: 5 when the image does not match its sizes (or the alpha its pixel count), 26 when the
// view is empty.

// Copies the image opaquely.
bool DrawRgb(const PixelView& view, const RgbImage& image, unsigned width, unsigned height, int x,
             int y);

// Copies every pixel except those exactly equal to `transparent` (0x00BBGGRR), which leave the
// picture as it is; -1 copies every pixel.
bool DrawRgbKeyed(const PixelView& view, const RgbImage& image, unsigned width, unsigned height,
                  int x, int y, ColorRef transparent);

// Blends the image by its alpha (width × height bytes, 0 transparent, 255 opaque).
bool DrawRgbWithAlpha(const PixelView& view, const RgbImage& image,
                      const std::vector<std::uint8_t>& alpha, unsigned width, unsigned height,
                      int x, int y);

} // namespace vistrel
