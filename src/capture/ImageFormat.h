#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace vistrel {

// A video format in the layout of a BITMAPINFOHEADER: the eleven fields the settings keep under
// ImageFormat (Size, Width, Height, Planes, BitCount, Compression, SizeImage, XPelsPerMeter,
// YPelsPerMeter, ClrUsed, ClrImportant). Every capture driver delivers 24-bit RGB, so a current
// format always reads Size 40, Planes 1, BitCount 24, Compression 0 (BI_RGB) and SizeImage the
// size of the bottom-up pixel rows, each padded to four bytes.
struct ImageFormat {
    std::uint32_t size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;

    bool operator==(const ImageFormat&) const = default;
};

constexpr std::uint32_t kBitmapInfoHeaderSize = 40;

// Bytes of one pixel row of a 24-bit bitmap: three a pixel, padded to a multiple of four.
std::uint32_t Rgb24RowBytes(int width);

// The format of a width x height 24-bit RGB frame.
ImageFormat Rgb24Format(int width, int height);

// The settings key names of the eleven fields, in order.
extern const std::array<const char*, 11> kImageFormatKeys;

// The fields as the integers the settings store ("%d"; Compression and the other unsigned
// fields wrap like the 32-bit values they are), in the order of kImageFormatKeys.
std::array<std::int64_t, 11> ImageFormatValues(const ImageFormat& format);

// Writes the eleven fields through write(key, value), in order.
void WriteImageFormat(const ImageFormat& format,
                      const std::function<void(const std::string& key, std::int64_t value)>& write);

// Reads the eleven fields through read(key); a missing key is the caller's 0. Values are cut to
// the width of their field, as the platform's own structure would.
ImageFormat ReadImageFormat(const std::function<std::int64_t(const std::string& key)>& read);

} // namespace vistrel
