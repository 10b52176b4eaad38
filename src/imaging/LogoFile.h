#pragma once

#include "imaging/codec/ImgLib.h"

#include <string>
#include <vector>

namespace vistrel {

// Reads a logo file with the reader its name's last four characters choose, compared without
// regard to case: ".GIF" (which also gives the transparent colour), ".JPG", ".PNG", ".TIF",
// ".BMP", ".PCX". Any other ending reads nothing and leaves the last error at 0. transparent is
// -1 unless a GIF names a transparent colour; isGif tells whether the GIF reader was chosen.
// A picture of more than maxPixels pixels fails with code 1 before it is read (the pipeline
// passes LogoPixelLimit). On failure the image is empty and ImgLibGetLastError() tells why.
RgbImage ReadLogoFile(const std::string& path, unsigned& width, unsigned& height,
                      ColorRef& transparent, bool& isGif,
                      std::uint64_t maxPixels = ImgLibMaxPixels);

// The alpha of a PNG logo read as width × height by ReadLogoFile (see ImgLibReadAlphaFromPNG);
// empty for any other file and for a PNG without alpha: such a logo is drawn opaque.
std::vector<std::uint8_t> ReadLogoAlpha(const std::string& path, unsigned width, unsigned height);

} // namespace vistrel
