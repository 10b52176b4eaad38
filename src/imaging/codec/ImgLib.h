#pragma once

// The ImgLib codec layer: reads picture files into plain RGB buffers, writes RGB buffers as
// JPEG, PNG or BMP, and keeps the last error code of each thread. This header and everything
// behind it is free of Qt; the bridge to QImage/QPainter lives in ImgLibQt.h.
//
// Conventions shared by every operation:
// - Paths are byte strings (UTF-8 on Linux). An empty path fails like a missing file (code 2).
// - Every operation first sets this thread's last error to 0, and on failure to one of the
//   ImgLibError codes; ImgLibGetLastError() reads it back. Nothing is thrown except
//   ThreadRecordError (the per-thread record could not be made).
// - Readers return an RgbImage and report width and height through the out-parameters, which
//   are both 0 on failure (the returned image is then empty).
// - Every reader treats the file as untrusted: a damaged or hostile file fails with a code, and
//   a picture announcing more than maxPixels pixels (ImgLibMaxPixels unless the caller gives a
//   tighter bound, as the stamping pipeline does for logos) fails with code 1 before anything
//   large is allocated.
//
// A typical composition (the pipeline draws on the frame itself, through imaging/PixelView.h):
//     unsigned w, h;
//     RgbImage frame = ImgLibReadRGBFromBMP(grabbedPath, w, h);
//     if (!frame) return ImageLibraryErrorText(ImgLibGetLastError());
//     ... logo read by its extension and drawn onto the frame, then the texts ...
//     ImgLibSaveRGBToJPG(outPath, frame, w, h, quality, 1, progressive);
// The desktop program shows and draws pictures through QImage and QPainter (ImgLibQt.h).

#include "imaging/codec/RgbImage.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistrel {

// Error codes. Their texts are ImageLibraryErrorText's.
enum ImgLibError : int {
    IMGLIB_OK = 0,
    IMGLIB_OUT_OF_MEMORY = 1,
    IMGLIB_FILE_OPEN = 2,
    IMGLIB_FILE_READ = 3,
    IMGLIB_FILE_WRITE = 4,
    IMGLIB_BAD_PARAM = 5,
    IMGLIB_BAD_BMP = 6,
    IMGLIB_RLE_BMP = 7,
    IMGLIB_BAD_GIF = 8,
    IMGLIB_BAD_JPG = 9,
    IMGLIB_DEVICE = 10,
    IMGLIB_CANCELLED = 14,
    IMGLIB_BAD_PNG = 15,
    IMGLIB_PNG_INTERNAL = 16,
    IMGLIB_INTERNAL = 17,
    IMGLIB_TIFF_INTERNAL = 19,
    IMGLIB_BAD_TIF = 20,
    IMGLIB_TIFF_LZW = 21,
    IMGLIB_BAD_PCX = 22,
    IMGLIB_DEVICE_UNSUPPORTED = 26,
    IMGLIB_BIT_DEPTH = 28,
};

// A colour as 0x00BBGGRR; -1 means "no colour" (no transparent colour).
using ColorRef = std::int32_t;
constexpr ColorRef kNoColor = -1;
constexpr ColorRef makeColorRef(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return static_cast<ColorRef>(r | (g << 8) | (b << 16));
}

// The largest picture (width × height) a reader accepts; larger ones fail with code 1.
// 8192 × 8192 is far beyond any camera frame or logo the program deals with.
constexpr std::uint64_t ImgLibMaxPixels = 8192ull * 8192ull;

// Thrown when this thread's record cannot be created.
class ThreadRecordError : public std::runtime_error {
  public:
    ThreadRecordError() : std::runtime_error("ImgLib: the per-thread record could not be created")
    {
    }
};

// The per-thread record: the last error, the options this program leaves at their initial
// values, and what the last JPEG read found in the file.
struct ImgLibThreadRecord {
    int lastError = 0;
    // Options (never changed by the program; kept so that writers read them from one place).
    int jpegDensityUnit = 0; // JFIF density written by ImgLibSaveRGBToJPG: unit 0, 1 × 1
    int jpegXDensity = 1;
    int jpegYDensity = 1;
    bool fatalJpegErrorBox = false; // no message box on fatal JPEG errors
    // Noted by the last ImgLibReadRGBFromJPG on this thread.
    std::vector<std::string> jpegComments; // COM markers, in file order
    int readDensityUnit = 0;
    int readXDensity = 0;
    int readYDensity = 0;
};

// This thread's record, created on first use (throws ThreadRecordError if that fails). Records are
// kept in one list guarded by a mutex and freed when the program ends.
ImgLibThreadRecord& ImgLibThreadState();

// The last error code of the calling thread.
int ImgLibGetLastError();

// "Image Error (%d): " followed by the code's text; codes 10, 11 and 13 give their text alone;
// unknown codes give the prefix followed by "Undefined Error".
std::string ImageLibraryErrorText(int code);
// The picture viewer's copy of the table: the same, except that it has no text for 31 and
// 37 to 40, which it reports as "Undefined Error".
std::string ImageViewerErrorText(int code);

// --- Readers -----------------------------------------------------------------------------------

// Windows bitmap file ("BM", 40-byte information header; the larger v4/v5 headers are read
// through their first 40 bytes): 1, 4, 8, 16 (5-5-5), 24 and 32 bits uncompressed, 8-bit and
// 4-bit run-length coded. Bottom-up and top-down rows. Codes: 2 open, 3 short file, 6 not a
// supported bitmap, 1 too large. The stamping pipeline reads the grabbed frame with this.
RgbImage ImgLibReadRGBFromBMP(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels = ImgLibMaxPixels);
// Reads only the headers; width and height as stored (a top-down file reports its negative
// height as a positive one). Codes: 2, 3, 6.
bool ImgLibGetBMPSize(const std::string& path, unsigned& width, unsigned& height);

// JPEG through libjpeg; greyscale pictures become three equal bytes a pixel. Comment markers
// and the density are noted in ImgLibThreadState(). Codes: 2 open, 9 bad data, 1 too large.
RgbImage ImgLibReadRGBFromJPG(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels = ImgLibMaxPixels);

// PNG through libpng: every colour type and depth becomes 8-bit RGB (16-bit samples keep their
// high byte). An alpha channel or tRNS chunk is left out here and the stored colours are kept as
// they are (no blending against a background); ImgLibReadAlphaFromPNG reads the alpha. No gamma
// correction. Codes: 2 open, 15 bad data, 16 libpng could not be set up, 1 too large.
RgbImage ImgLibReadRGBFromPNG(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels = ImgLibMaxPixels);
// The alpha of a PNG whose RGB was read as width × height: one byte a pixel, rows top first
// (tRNS counts as alpha). Empty for a PNG without alpha, or one that cannot be read at that size.
std::vector<std::uint8_t> ImgLibReadAlphaFromPNG(const std::string& path, unsigned width,
                                                 unsigned height,
                                                 std::uint64_t maxPixels = ImgLibMaxPixels);

// TIFF through libtiff (first directory). Codes: 2 open, 20 not a readable TIFF, 21 LZW
// compression (not supported), 19 any other libtiff failure, 1 too large.
RgbImage ImgLibReadRGBFromTIF(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels = ImgLibMaxPixels);

// PCX: 1, 2 or 4 bits in up to four planes (16-colour header palette), 8 bits (256-colour
// palette at the end of the file, or a grey ramp without one), 24 bits as three planes.
// Run-length coded or uncompressed. Codes: 2 open, 22 malformed, 1 too large.
RgbImage ImgLibReadRGBFromPCX(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels = ImgLibMaxPixels);

// GIF87a/GIF89a: the first image, drawn on the logical screen (filled with the background
// colour where the image does not cover it). transparent receives the colour of the transparent
// index of the image's graphic control extension as 0x00BBGGRR, or -1 without one.
// Codes: 2 open, 8 bad data, 1 too large.
RgbImage ImgLibReadRGBFromGIF(const std::string& path, unsigned& width, unsigned& height,
                              ColorRef& transparent, std::uint64_t maxPixels = ImgLibMaxPixels);

// --- Writers ------------------------------------------------------------------------------------
// image must hold width × height × 3 bytes (else code 5).

// JPEG through libjpeg. quality is clamped to 1..100 and uses baseline-compatible tables (so 0
// gives the same file as 1). color 1 writes three-component RGB; color 0 writes one-component
// greyscale converted from the RGB pixels. progressive uses libjpeg's simple progression. JFIF
// density unit 0, 1 × 1. Codes: 5 no image or zero size, 2 open, 9 libjpeg error (the
// compressor and the file are released). The stamping pipeline writes its picture with this.
bool ImgLibSaveRGBToJPG(const std::string& path, const RgbImage& image, unsigned width,
                        unsigned height, int quality, int color, int progressive);

// 8-bit truecolour PNG (colour type 2). The two option integers have no effect.
// Codes: 5, 2 open, 16 libpng error.
bool ImgLibSaveRGBToPNG(const std::string& path, const RgbImage& image, unsigned width,
                        unsigned height, int option1 = 0, int option2 = 0);

// 24-bit uncompressed bitmap file, bottom row first, rows padded to 4 bytes.
// Codes: 5, 2 open, 4 write.
bool ImgLibSaveRGBToBMP(const std::string& path, const RgbImage& image, unsigned width,
                        unsigned height);

} // namespace vistrel
