#pragma once

// The ImgLib layer's bridge to pictures on screen and in memory: a QImage takes the place of the
// platform bitmap and a QPainter the place of the device context. Kept apart from ImgLib.h so
// that the readers and writers stay free of Qt.

#include "imaging/codec/ImgLib.h"

#include <QImage>
#include <QList>
#include <QPainter>
#include <QRgb>

#include <string>

namespace vistrel {

// A palette for drawing: when given, pixels are mapped to the nearest of its colours first, as
// drawing through a palette on a palette-based display did. The program passes none.
using ImgLibPalette = QList<QRgb>;

// Copies a QImage of any format into a new RgbImage (alpha is dropped). The palette argument is
// accepted for the callers' sake and has no effect: QImage converts its own colour table.
// Codes: 5 for a null image, 1 out of memory.
RgbImage ImgLibHBITMAPToRGB(const QImage& bitmap, unsigned& width, unsigned& height,
                            const ImgLibPalette* palette = nullptr);

// Reads a bitmap file (as ImgLibReadRGBFromBMP, same codes) into a QImage; null on failure.
QImage ImgLibReadHBITMAPFromBMP(const std::string& path);

// A deep copy of an RgbImage as a QImage (Format_RGB888); null when the sizes do not match.
QImage ImgLibRGBToQImage(const RgbImage& image, unsigned width, unsigned height);

// Draws the image opaquely with its top-left corner at (x, y), copying at most cx × cy pixels
// from its own top-left corner; no stretching. The painter's transformation and clipping apply.
// Codes: 5 missing image or sizes that do not match, 26 painter not active.
bool ImgLibDrawRGB(QPainter& dc, const RgbImage& image, unsigned width, unsigned height, int x,
                   int y, int cx, int cy, const ImgLibPalette* palette = nullptr);

// Draws the whole image at (x, y); pixels exactly equal to `transparent` (0x00BBGGRR) leave the
// destination unchanged, all others are copied. -1 copies every pixel.
// Codes: 5 missing image or sizes that do not match, 26 painter not active.
bool ImgLibDrawTranparentRGB(QPainter& dc, const RgbImage& image, unsigned width, unsigned height,
                             int x, int y, ColorRef transparent);

} // namespace vistrel
