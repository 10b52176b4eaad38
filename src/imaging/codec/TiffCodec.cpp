// TIFF reading through libtiff.

#include "imaging/codec/CodecInternal.h"

#include <mutex>
#include <new>

#include <tiffio.h>

namespace vistrel {
namespace codec {

namespace {

// libtiff talks to the stdio stream through these, so a memory stream (fmemopen) works as well
// as a file.
tmsize_t tiffRead(thandle_t h, void* buf, tmsize_t size)
{
    return static_cast<tmsize_t>(
        std::fread(buf, 1, static_cast<std::size_t>(size), static_cast<std::FILE*>(h)));
}
tmsize_t tiffWrite(thandle_t, void*, tmsize_t)
{
    return 0;
}
toff_t tiffSeek(thandle_t h, toff_t off, int whence)
{
    auto* f = static_cast<std::FILE*>(h);
    if (off > static_cast<toff_t>(INT64_MAX) || fseeko(f, static_cast<off_t>(off), whence) != 0)
        return static_cast<toff_t>(-1);
    return static_cast<toff_t>(ftello(f));
}
int tiffClose(thandle_t)
{
    return 0; // the caller closes the stream
}
toff_t tiffSize(thandle_t h)
{
    auto* f = static_cast<std::FILE*>(h);
    const off_t at = ftello(f);
    fseeko(f, 0, SEEK_END);
    const off_t size = ftello(f);
    fseeko(f, at, SEEK_SET);
    return size < 0 ? 0 : static_cast<toff_t>(size);
}
int tiffMap(thandle_t, void**, toff_t*)
{
    return 0;
}
void tiffUnmap(thandle_t, void*, toff_t)
{
}

void silenceLibtiff()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

} // namespace

Decoded decodeTiff(std::FILE* file, std::uint64_t maxPixels)
{
    silenceLibtiff();
    Decoded r;
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) {
        r.error = IMGLIB_OUT_OF_MEMORY;
        return r;
    }
    // No single allocation inside libtiff beyond what our largest picture needs.
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, static_cast<tmsize_t>(maxPixels * 4 + (1 << 20)));
    // "m": no memory mapping; we supply the reads.
    TIFF* tif = TIFFClientOpenExt("logo", "rm", file, tiffRead, tiffWrite, tiffSeek, tiffClose,
                                  tiffSize, tiffMap, tiffUnmap, opts);
    TIFFOpenOptionsFree(opts);
    if (!tif) {
        r.error = IMGLIB_BAD_TIF;
        return r;
    }
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint32_t width = 0, height = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression == COMPRESSION_LZW) {
        r.error = IMGLIB_TIFF_LZW; // LZW pictures are turned away, as they always were
    } else if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
               !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) {
        r.error = IMGLIB_BAD_TIF;
    } else if (allocatePicture(r, width, height, maxPixels)) {
        std::uint32_t* raster =
            new (std::nothrow) std::uint32_t[static_cast<std::size_t>(width) * height];
        if (!raster) {
            r = Decoded();
            r.error = IMGLIB_OUT_OF_MEMORY;
        } else if (!TIFFReadRGBAImageOriented(tif, width, height, raster, ORIENTATION_TOPLEFT, 0)) {
            r = Decoded();
            r.error = IMGLIB_TIFF_INTERNAL;
        } else {
            std::uint8_t* out = r.image.data();
            const std::size_t count = static_cast<std::size_t>(width) * height;
            for (std::size_t i = 0; i < count; ++i) {
                out[i * 3] = static_cast<std::uint8_t>(TIFFGetR(raster[i]));
                out[i * 3 + 1] = static_cast<std::uint8_t>(TIFFGetG(raster[i]));
                out[i * 3 + 2] = static_cast<std::uint8_t>(TIFFGetB(raster[i]));
            }
        }
        delete[] raster;
    }
    TIFFClose(tif);
    return r;
}

} // namespace codec

RgbImage ImgLibReadRGBFromTIF(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels)
{
    return codec::readThroughStream(path, width, height, codec::decodeTiff, maxPixels);
}

} // namespace vistrel
