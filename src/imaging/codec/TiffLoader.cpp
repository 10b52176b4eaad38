// libtiff, loaded the first time a TIFF picture is read. Only a logo may be a TIFF file, and the
// library with the codecs it brings (WebP, LZMA, JBIG, Lerc, …) would otherwise be loaded, and
// relocated, at every start of every program. These are the libtiff functions the TIFF reader
// calls, forwarding to the library; without it, opening a picture fails as a damaged one does.
#include <dlfcn.h>

#include <cstdarg>
#include <mutex>
#include <type_traits>

#include <tiffio.h>

namespace {

struct Tiff {
    decltype(&TIFFClientOpenExt) clientOpenExt = nullptr;
    decltype(&TIFFClose) close = nullptr;
    decltype(&TIFFVGetField) vGetField = nullptr;
    decltype(&TIFFVGetFieldDefaulted) vGetFieldDefaulted = nullptr;
    decltype(&TIFFOpenOptionsAlloc) optionsAlloc = nullptr;
    decltype(&TIFFOpenOptionsFree) optionsFree = nullptr;
    decltype(&TIFFOpenOptionsSetMaxSingleMemAlloc) optionsSetMaxSingleMemAlloc = nullptr;
    decltype(&TIFFReadRGBAImageOriented) readRGBAImageOriented = nullptr;
    decltype(&TIFFSetErrorHandler) setErrorHandler = nullptr;
    decltype(&TIFFSetWarningHandler) setWarningHandler = nullptr;
    bool loaded = false;
};

// The library, or one with loaded == false when it cannot be had.
const Tiff& libtiff()
{
    static Tiff t;
    static std::once_flag once;
    std::call_once(once, [] {
        void* lib = ::dlopen(VISTREL_LIBTIFF_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return;
        Tiff found;
        const auto get = [lib](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, name));
            return fn != nullptr;
        };
        if (get(found.clientOpenExt, "TIFFClientOpenExt") && get(found.close, "TIFFClose") &&
            get(found.vGetField, "TIFFVGetField") &&
            get(found.vGetFieldDefaulted, "TIFFVGetFieldDefaulted") &&
            get(found.optionsAlloc, "TIFFOpenOptionsAlloc") &&
            get(found.optionsFree, "TIFFOpenOptionsFree") &&
            get(found.optionsSetMaxSingleMemAlloc, "TIFFOpenOptionsSetMaxSingleMemAlloc") &&
            get(found.readRGBAImageOriented, "TIFFReadRGBAImageOriented") &&
            get(found.setErrorHandler, "TIFFSetErrorHandler") &&
            get(found.setWarningHandler, "TIFFSetWarningHandler")) {
            found.loaded = true;
            t = found;
        }
    });
    return t;
}

// Stands in for the options while the library is missing (TIFFClientOpenExt then fails).
TIFFOpenOptions* noOptions()
{
    static char placeholder;
    return reinterpret_cast<TIFFOpenOptions*>(&placeholder);
}

} // namespace

extern "C" {

TIFF* TIFFClientOpenExt(const char* name, const char* mode, thandle_t h, TIFFReadWriteProc rd,
                        TIFFReadWriteProc wr, TIFFSeekProc seek, TIFFCloseProc cl,
                        TIFFSizeProc size, TIFFMapFileProc map, TIFFUnmapFileProc unmap,
                        TIFFOpenOptions* opts)
{
    const Tiff& t = libtiff();
    return t.loaded ? t.clientOpenExt(name, mode, h, rd, wr, seek, cl, size, map, unmap, opts)
                    : nullptr;
}

void TIFFClose(TIFF* tif)
{
    if (libtiff().loaded)
        libtiff().close(tif);
}

int TIFFGetField(TIFF* tif, uint32_t tag, ...)
{
    if (!libtiff().loaded)
        return 0;
    va_list ap;
    va_start(ap, tag);
    const int r = libtiff().vGetField(tif, tag, ap);
    va_end(ap);
    return r;
}

int TIFFGetFieldDefaulted(TIFF* tif, uint32_t tag, ...)
{
    if (!libtiff().loaded)
        return 0;
    va_list ap;
    va_start(ap, tag);
    const int r = libtiff().vGetFieldDefaulted(tif, tag, ap);
    va_end(ap);
    return r;
}

TIFFOpenOptions* TIFFOpenOptionsAlloc(void)
{
    return libtiff().loaded ? libtiff().optionsAlloc() : noOptions();
}

void TIFFOpenOptionsFree(TIFFOpenOptions* opts)
{
    if (libtiff().loaded)
        libtiff().optionsFree(opts);
}

void TIFFOpenOptionsSetMaxSingleMemAlloc(TIFFOpenOptions* opts, tmsize_t max)
{
    if (libtiff().loaded)
        libtiff().optionsSetMaxSingleMemAlloc(opts, max);
}

int TIFFReadRGBAImageOriented(TIFF* tif, uint32_t w, uint32_t h, uint32_t* raster, int orientation,
                              int stop)
{
    return libtiff().loaded ? libtiff().readRGBAImageOriented(tif, w, h, raster, orientation, stop)
                            : 0;
}

TIFFErrorHandler TIFFSetErrorHandler(TIFFErrorHandler handler)
{
    return libtiff().loaded ? libtiff().setErrorHandler(handler) : nullptr;
}

TIFFErrorHandler TIFFSetWarningHandler(TIFFErrorHandler handler)
{
    return libtiff().loaded ? libtiff().setWarningHandler(handler) : nullptr;
}

} // extern "C"
