#include "imaging/PixelView.h"

#include <algorithm>
#include <cstring>

namespace vistrel {

namespace {

bool matches(const RgbImage& image, unsigned width, unsigned height)
{
    return image && static_cast<std::uint64_t>(width) * height * 3 == image.size();
}

// The part of a width × height image at (x, y) that lies on the view, as image coordinates.
struct Clip {
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive
    bool empty() const { return left >= right || top >= bottom; }
};

Clip clipTo(const PixelView& view, unsigned width, unsigned height, int x, int y)
{
    const auto w = static_cast<std::int64_t>(width), h = static_cast<std::int64_t>(height);
    Clip c;
    c.left = static_cast<int>(std::clamp<std::int64_t>(-static_cast<std::int64_t>(x), 0, w));
    c.top = static_cast<int>(std::clamp<std::int64_t>(-static_cast<std::int64_t>(y), 0, h));
    c.right =
        static_cast<int>(std::clamp<std::int64_t>(view.width - static_cast<std::int64_t>(x), 0, w));
    c.bottom = static_cast<int>(
        std::clamp<std::int64_t>(view.height - static_cast<std::int64_t>(y), 0, h));
    return c;
}

void put(const PixelView& view, int x, int y, const std::uint8_t* rgb)
{
    std::uint8_t* p = view.row(y);
    if (view.order == PixelOrder::Rgb24) {
        std::memcpy(p + static_cast<std::ptrdiff_t>(x) * 3, rgb, 3);
    } else {
        auto* word = reinterpret_cast<std::uint32_t*>(p) + x;
        *word = (*word & 0xFF000000u) | (static_cast<std::uint32_t>(rgb[0]) << 16) |
                (static_cast<std::uint32_t>(rgb[1]) << 8) | rgb[2];
    }
}

// Visits each pixel of the image that lands on the view: f(x, y, rgb, index).
template <typename F>
bool forEachPixel(const PixelView& view, const RgbImage& image, unsigned width, unsigned height,
                  int x, int y, F f)
{
    ImgLibThreadState().lastError = IMGLIB_OK;
    if (!matches(image, width, height)) {
        ImgLibThreadState().lastError = IMGLIB_BAD_PARAM;
        return false;
    }
    if (view.empty()) {
        ImgLibThreadState().lastError = IMGLIB_DEVICE_UNSUPPORTED;
        return false;
    }
    const Clip c = clipTo(view, width, height, x, y);
    if (c.empty())
        return true;
    for (int row = c.top; row < c.bottom; ++row) {
        const std::size_t base = static_cast<std::size_t>(row) * width;
        for (int col = c.left; col < c.right; ++col)
            f(x + col, y + row, image.data() + (base + col) * 3, base + col);
    }
    return true;
}

} // namespace

PixelView PixelView::Of(RgbImage& image, unsigned width, unsigned height)
{
    if (!matches(image, width, height) || width > INT32_MAX / 3 || height > INT32_MAX)
        return {};
    return {image.data(), static_cast<int>(width), static_cast<int>(height),
            static_cast<std::ptrdiff_t>(width) * 3, PixelOrder::Rgb24};
}

void PixelView::blend(int x, int y, const std::uint8_t colour[3], unsigned coverage) const
{
    if (coverage == 0)
        return;
    std::uint8_t* p = row(y);
    std::uint8_t rgb[3];
    if (order == PixelOrder::Rgb24) {
        std::memcpy(rgb, p + static_cast<std::ptrdiff_t>(x) * 3, 3);
    } else {
        const std::uint32_t word = reinterpret_cast<const std::uint32_t*>(p)[x];
        rgb[0] = static_cast<std::uint8_t>(word >> 16);
        rgb[1] = static_cast<std::uint8_t>(word >> 8);
        rgb[2] = static_cast<std::uint8_t>(word);
    }
    for (int i = 0; i < 3; ++i)
        rgb[i] = static_cast<std::uint8_t>(
            (colour[i] * coverage + rgb[i] * (255u - coverage) + 127u) / 255u);
    put(*this, x, y, rgb);
}

bool DrawRgb(const PixelView& view, const RgbImage& image, unsigned width, unsigned height, int x,
             int y)
{
    if (view.order == PixelOrder::Rgb24 && matches(image, width, height) && !view.empty()) {
        // Row copies: the frame itself goes this way in every composition.
        ImgLibThreadState().lastError = IMGLIB_OK;
        const Clip c = clipTo(view, width, height, x, y);
        for (int row = c.top; row < c.bottom && !c.empty(); ++row)
            std::memcpy(view.row(y + row) + static_cast<std::ptrdiff_t>(x + c.left) * 3,
                        image.data() + (static_cast<std::size_t>(row) * width + c.left) * 3,
                        static_cast<std::size_t>(c.right - c.left) * 3);
        return true;
    }
    return forEachPixel(
        view, image, width, height, x, y,
        [&](int px, int py, const std::uint8_t* rgb, std::size_t) { put(view, px, py, rgb); });
}

bool DrawRgbKeyed(const PixelView& view, const RgbImage& image, unsigned width, unsigned height,
                  int x, int y, ColorRef transparent)
{
    return forEachPixel(view, image, width, height, x, y,
                        [&](int px, int py, const std::uint8_t* rgb, std::size_t) {
                            if (makeColorRef(rgb[0], rgb[1], rgb[2]) != transparent)
                                put(view, px, py, rgb);
                        });
}

bool DrawRgbWithAlpha(const PixelView& view, const RgbImage& image,
                      const std::vector<std::uint8_t>& alpha, unsigned width, unsigned height,
                      int x, int y)
{
    if (alpha.size() != static_cast<std::size_t>(width) * height) {
        ImgLibThreadState().lastError = IMGLIB_BAD_PARAM;
        return false;
    }
    return forEachPixel(view, image, width, height, x, y,
                        [&](int px, int py, const std::uint8_t* rgb, std::size_t i) {
                            view.blend(px, py, rgb, alpha[i]);
                        });
}

} // namespace vistrel
