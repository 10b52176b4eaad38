#pragma once

// Internals shared by the codec sources, the tests and the fuzz targets. Not for callers.

#include "imaging/codec/ImgLib.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vistrel::codec {

// The result of one decode: on success error is 0 and image holds width × height × 3 bytes.
struct Decoded {
    RgbImage image;
    unsigned width = 0;
    unsigned height = 0;
    int error = 0;
    ColorRef transparent = kNoColor; // GIF only
};

// Decoders over bytes in memory; maxPixels caps width × height (code 1 above it).
Decoded decodeBmp(const std::uint8_t* data, std::size_t size,
                  std::uint64_t maxPixels = ImgLibMaxPixels);
Decoded decodeGif(const std::uint8_t* data, std::size_t size,
                  std::uint64_t maxPixels = ImgLibMaxPixels);
Decoded decodePcx(const std::uint8_t* data, std::size_t size,
                  std::uint64_t maxPixels = ImgLibMaxPixels);

// Library-backed decoders over an open stdio stream (a real file or fmemopen).
Decoded decodeJpeg(std::FILE* file, std::uint64_t maxPixels = ImgLibMaxPixels);
Decoded decodePng(std::FILE* file, std::uint64_t maxPixels = ImgLibMaxPixels);
// The same, filling *alpha for a PNG with an alpha channel or tRNS (see ImgLibReadAlphaFromPNG).
Decoded decodePngKeepingAlpha(std::FILE* file, std::uint64_t maxPixels,
                              std::vector<std::uint8_t>* alpha);
Decoded decodeTiff(std::FILE* file, std::uint64_t maxPixels = ImgLibMaxPixels);

// Reads a whole file. Returns 0, 2 (cannot open), 3 (read error) or 1 (larger than maxBytes or
// no memory).
int readWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t maxBytes);

// Opens a regular file for binary reading; nullptr for an empty path, anything that is not a
// regular file, or a file that cannot be opened.
std::FILE* openForRead(const std::string& path);

// A reader of the library-backed formats: opens the file, runs decode on the stream, closes it and
// hands the result over as finish() does (IMGLIB_FILE_OPEN when the file cannot be opened).
RgbImage readThroughStream(const std::string& path, unsigned& width, unsigned& height,
                           Decoded (*decode)(std::FILE*, std::uint64_t),
                           std::uint64_t maxPixels = ImgLibMaxPixels);

// Sets this thread's last error and returns it.
int setLastError(int code);

// Hands a decode result to a reader's caller: sets the last error, the out-parameters and
// returns the image (empty on failure).
RgbImage finish(Decoded&& d, unsigned& width, unsigned& height);

// Allocates width × height × 3 zeroed bytes unless the picture exceeds maxPixels; sets
// d.error to 1 and returns false otherwise.
bool allocatePicture(Decoded& d, std::uint64_t width, std::uint64_t height,
                     std::uint64_t maxPixels);

inline std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Whether an image buffer matches the dimensions a writer or drawing call was given.
bool imageMatches(const RgbImage& image, unsigned width, unsigned height);

} // namespace vistrel::codec
