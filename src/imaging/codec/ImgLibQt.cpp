#include "imaging/codec/ImgLibQt.h"

#include "imaging/codec/CodecInternal.h"

#include <cstring>

namespace vistrel {

QImage ImgLibRGBToQImage(const RgbImage& image, unsigned width, unsigned height)
{
    if (!codec::imageMatches(image, width, height) || width > INT32_MAX / 4 || height > INT32_MAX)
        return QImage();
    QImage out(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
    if (out.isNull())
        return out;
    for (unsigned y = 0; y < height; ++y)
        std::memcpy(out.scanLine(static_cast<int>(y)),
                    image.data() + static_cast<std::size_t>(y) * width * 3,
                    static_cast<std::size_t>(width) * 3);
    return out;
}

RgbImage ImgLibHBITMAPToRGB(const QImage& bitmap, unsigned& width, unsigned& height,
                            const ImgLibPalette*)
{
    codec::setLastError(IMGLIB_OK);
    width = height = 0;
    if (bitmap.isNull()) {
        codec::setLastError(IMGLIB_BAD_PARAM);
        return RgbImage();
    }
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB888);
    const auto w = static_cast<unsigned>(rgb.width());
    const auto h = static_cast<unsigned>(rgb.height());
    RgbImage out = RgbImage::allocate(static_cast<std::size_t>(w) * h * 3);
    if (rgb.isNull() || out.empty()) {
        codec::setLastError(IMGLIB_OUT_OF_MEMORY);
        return RgbImage();
    }
    for (unsigned y = 0; y < h; ++y)
        std::memcpy(out.data() + static_cast<std::size_t>(y) * w * 3,
                    rgb.constScanLine(static_cast<int>(y)), static_cast<std::size_t>(w) * 3);
    width = w;
    height = h;
    return out;
}

QImage ImgLibReadHBITMAPFromBMP(const std::string& path)
{
    unsigned w = 0, h = 0;
    RgbImage rgb = ImgLibReadRGBFromBMP(path, w, h);
    if (rgb.empty())
        return QImage();
    QImage out = ImgLibRGBToQImage(rgb, w, h);
    if (out.isNull())
        codec::setLastError(IMGLIB_OUT_OF_MEMORY);
    return out;
}

bool ImgLibDrawRGB(QPainter& dc, const RgbImage& image, unsigned width, unsigned height, int x,
                   int y, int cx, int cy, const ImgLibPalette* palette)
{
    codec::setLastError(IMGLIB_OK);
    if (!codec::imageMatches(image, width, height)) {
        codec::setLastError(IMGLIB_BAD_PARAM);
        return false;
    }
    if (!dc.isActive()) {
        codec::setLastError(IMGLIB_DEVICE_UNSUPPORTED);
        return false;
    }
    QImage source = ImgLibRGBToQImage(image, width, height);
    if (source.isNull()) {
        codec::setLastError(IMGLIB_OUT_OF_MEMORY);
        return false;
    }
    if (palette && !palette->isEmpty())
        source = source.convertToFormat(QImage::Format_Indexed8, *palette, Qt::ThresholdDither);
    if (cx <= 0 || cy <= 0)
        return true; // nothing to copy
    const QPainter::CompositionMode mode = dc.compositionMode();
    dc.setCompositionMode(QPainter::CompositionMode_Source);
    dc.drawImage(QPoint(x, y), source, QRect(0, 0, cx, cy).intersected(source.rect()));
    dc.setCompositionMode(mode);
    return true;
}

namespace {

// Draws a picture whose pixels pixelAt(row, col) gives as ARGB, blended over what is there.
template <typename PixelAt>
bool DrawBlended(QPainter& dc, unsigned width, unsigned height, int x, int y, PixelAt pixelAt)
{
    if (!dc.isActive()) {
        codec::setLastError(IMGLIB_DEVICE_UNSUPPORTED);
        return false;
    }
    QImage source(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32);
    if (source.isNull()) {
        codec::setLastError(IMGLIB_OUT_OF_MEMORY);
        return false;
    }
    for (unsigned row = 0; row < height; ++row) {
        auto* line = reinterpret_cast<QRgb*>(source.scanLine(static_cast<int>(row)));
        for (unsigned col = 0; col < width; ++col)
            line[col] = pixelAt(static_cast<std::size_t>(row) * width + col);
    }
    const QPainter::CompositionMode mode = dc.compositionMode();
    dc.setCompositionMode(QPainter::CompositionMode_SourceOver);
    dc.drawImage(QPoint(x, y), source);
    dc.setCompositionMode(mode);
    return true;
}

} // namespace

bool ImgLibDrawTranparentRGB(QPainter& dc, const RgbImage& image, unsigned width, unsigned height,
                             int x, int y, ColorRef transparent)
{
    codec::setLastError(IMGLIB_OK);
    if (!codec::imageMatches(image, width, height) || width > INT32_MAX / 4 || height > INT32_MAX) {
        codec::setLastError(IMGLIB_BAD_PARAM);
        return false;
    }
    // The mask: fully transparent where the pixel is exactly the colour, opaque elsewhere.
    const std::uint8_t* rgb = image.data();
    return DrawBlended(dc, width, height, x, y, [&](std::size_t i) {
        const std::uint8_t* p = rgb + i * 3;
        return makeColorRef(p[0], p[1], p[2]) == transparent ? 0u : qRgb(p[0], p[1], p[2]);
    });
}

} // namespace vistrel
