// PNG reading and writing through libpng.

#include "imaging/codec/CodecInternal.h"

#include <algorithm>
#include <csetjmp>
#include <memory>

#include <png.h>

namespace vistrel {
namespace codec {

namespace {

void pngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp)
{
}

// State that changes between setjmp and a possible longjmp lives behind a fixed pointer.
struct ReadState {
    Decoded r;
    std::vector<png_bytep> rows;
    std::vector<std::uint8_t> rgba; // the rows as read when the alpha channel is kept
};

} // namespace

// alpha null: 8-bit RGB. Otherwise a picture with an alpha channel or a tRNS chunk also fills
// *alpha with one byte a pixel (it stays empty for a picture without either).
Decoded decodePngKeepingAlpha(std::FILE* file, std::uint64_t maxPixels,
                              std::vector<std::uint8_t>* alpha)
{
    auto state = std::make_unique<ReadState>();
    ReadState* const s = state.get();
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(png ? &png : nullptr, nullptr, nullptr);
        s->r.error = IMGLIB_PNG_INTERNAL;
        return std::move(s->r);
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        Decoded failed;
        failed.error = IMGLIB_BAD_PNG;
        return failed;
    }
    // Limits: no ancillary chunk may ask for more than 8 MiB, and no side above 64 Ki pixels.
    png_set_user_limits(png, 65535, 65535);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_init_io(png, file);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    // Everything becomes 8-bit RGB. Unless the alpha is asked for, tRNS is not expanded to
    // alpha and any alpha channel is stripped: the colours are kept as stored.
    bool keepAlpha = false;
    if (alpha) {
        if (png_get_valid(png, info, PNG_INFO_tRNS)) {
            png_set_tRNS_to_alpha(png);
            keepAlpha = true;
        }
        keepAlpha = keepAlpha || (colourType & PNG_COLOR_MASK_ALPHA) != 0;
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16)
        png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (!keepAlpha)
        png_set_strip_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    Decoded& r = s->r;
    const std::size_t channels = keepAlpha ? 4 : 3;
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(width) * channels) {
        png_destroy_read_struct(&png, &info, nullptr);
        r.error = IMGLIB_BAD_PNG;
        return std::move(r);
    }
    if (!allocatePicture(r, width, height, maxPixels)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return std::move(r);
    }
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    if (keepAlpha)
        s->rgba.resize(pixels * 4);
    std::uint8_t* target = keepAlpha ? s->rgba.data() : r.image.data();
    s->rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        s->rows[y] = target + static_cast<std::size_t>(y) * width * channels;
    png_read_image(png, s->rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    if (keepAlpha) {
        alpha->resize(pixels);
        for (std::size_t i = 0; i < pixels; ++i) {
            std::copy_n(&s->rgba[i * 4], 3, r.image.data() + i * 3);
            (*alpha)[i] = s->rgba[i * 4 + 3];
        }
    }
    return std::move(r);
}

Decoded decodePng(std::FILE* file, std::uint64_t maxPixels)
{
    return decodePngKeepingAlpha(file, maxPixels, nullptr);
}

} // namespace codec

RgbImage ImgLibReadRGBFromPNG(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels)
{
    return codec::readThroughStream(path, width, height, codec::decodePng, maxPixels);
}

std::vector<std::uint8_t> ImgLibReadAlphaFromPNG(const std::string& path, unsigned width,
                                                 unsigned height, std::uint64_t maxPixels)
{
    std::vector<std::uint8_t> alpha;
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (!f)
        return alpha;
    codec::Decoded d = codec::decodePngKeepingAlpha(f, maxPixels, &alpha);
    std::fclose(f);
    if (d.error != IMGLIB_OK || d.width != width || d.height != height)
        alpha.clear();
    return alpha;
}

namespace {

struct WriteState {
    std::FILE* file = nullptr;
    std::vector<png_bytep> rows;
};

} // namespace

bool ImgLibSaveRGBToPNG(const std::string& path, const RgbImage& image, unsigned width,
                        unsigned height, int, int)
{
    codec::setLastError(IMGLIB_OK);
    if (!codec::imageMatches(image, width, height) || width > PNG_UINT_31_MAX ||
        height > PNG_UINT_31_MAX) {
        codec::setLastError(IMGLIB_BAD_PARAM);
        return false;
    }
    auto state = std::make_unique<WriteState>();
    WriteState* const s = state.get();
    s->file = path.empty() ? nullptr : std::fopen(path.c_str(), "wb");
    if (!s->file) {
        codec::setLastError(IMGLIB_FILE_OPEN);
        return false;
    }
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, codec::pngError, codec::pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
        std::fclose(s->file);
        codec::setLastError(IMGLIB_PNG_INTERNAL);
        return false;
    }
    png_init_io(png, s->file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    s->rows.resize(height);
    for (unsigned y = 0; y < height; ++y)
        // libpng does not write through the row pointers.
        s->rows[y] = const_cast<png_bytep>(image.data()) + static_cast<std::size_t>(y) * width * 3;
    png_write_image(png, s->rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::FILE* f = s->file;
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed) {
        codec::setLastError(IMGLIB_PNG_INTERNAL);
        return false;
    }
    return true;
}

} // namespace vistrel
