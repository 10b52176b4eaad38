#include "imaging/codec/CodecInternal.h"

#include <sys/stat.h>

#include <new>

namespace vistrel::codec {

std::FILE* openForRead(const std::string& path)
{
    // Only regular files: opening a FIFO or a device named as a logo could block for ever.
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    return std::fopen(path.c_str(), "rb");
}

int readWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t maxBytes)
{
    out.clear();
    std::FILE* f = openForRead(path);
    if (!f)
        return IMGLIB_FILE_OPEN;
    int result = IMGLIB_OK;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        result = IMGLIB_FILE_READ;
    } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        result = IMGLIB_OUT_OF_MEMORY;
    } else {
        try {
            out.resize(static_cast<std::size_t>(st.st_size));
        } catch (const std::bad_alloc&) {
            result = IMGLIB_OUT_OF_MEMORY;
        }
        // A file that shrank since fstat is simply shorter; the decoders check every length.
        if (result == IMGLIB_OK) {
            std::size_t got = out.empty() ? 0 : std::fread(out.data(), 1, out.size(), f);
            if (std::ferror(f))
                result = IMGLIB_FILE_READ;
            out.resize(got);
        }
    }
    std::fclose(f);
    if (result != IMGLIB_OK)
        out.clear();
    return result;
}

int setLastError(int code)
{
    ImgLibThreadState().lastError = code;
    return code;
}

RgbImage readThroughStream(const std::string& path, unsigned& width, unsigned& height,
                           Decoded (*decode)(std::FILE*, std::uint64_t), std::uint64_t maxPixels)
{
    setLastError(IMGLIB_OK);
    Decoded d;
    std::FILE* f = openForRead(path);
    if (!f) {
        d.error = IMGLIB_FILE_OPEN;
    } else {
        d = decode(f, maxPixels);
        std::fclose(f);
    }
    return finish(std::move(d), width, height);
}

RgbImage finish(Decoded&& d, unsigned& width, unsigned& height)
{
    if (d.error == IMGLIB_OK && d.image.empty())
        d.error = IMGLIB_INTERNAL;
    setLastError(d.error);
    if (d.error != IMGLIB_OK) {
        width = height = 0;
        return RgbImage();
    }
    width = d.width;
    height = d.height;
    return std::move(d.image);
}

bool allocatePicture(Decoded& d, std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels)
{
    if (width == 0 || height == 0 || width * height > maxPixels) {
        d.error = IMGLIB_OUT_OF_MEMORY;
        return false;
    }
    d.image = RgbImage::allocate(static_cast<std::size_t>(width * height * 3));
    if (d.image.empty()) {
        d.error = IMGLIB_OUT_OF_MEMORY;
        return false;
    }
    d.width = static_cast<unsigned>(width);
    d.height = static_cast<unsigned>(height);
    return true;
}

bool imageMatches(const RgbImage& image, unsigned width, unsigned height)
{
    return !image.empty() && width != 0 && height != 0 &&
           static_cast<std::uint64_t>(width) * height * 3 == image.size();
}

} // namespace vistrel::codec
