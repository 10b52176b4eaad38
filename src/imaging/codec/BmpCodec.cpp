// Windows bitmap files: our own reader (with the run-length decoders) and writer.

#include "imaging/codec/CodecInternal.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vistrel {
namespace codec {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;
// A bitmap file larger than the biggest picture we accept, plus room for headers and tables,
// cannot be one we can read.
constexpr std::size_t kMaxBmpFile = ImgLibMaxPixels * 4 + (1u << 20);

struct BmpHeader {
    std::uint32_t offBits = 0;
    std::uint32_t infoSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t clrUsed = 0;
};

// Reads both headers; 0 or the error code.
int parseHeaders(const std::uint8_t* d, std::size_t n, BmpHeader& h)
{
    if (n < kFileHeader)
        return IMGLIB_FILE_READ;
    if (d[0] != 'B' || d[1] != 'M')
        return IMGLIB_BAD_BMP;
    h.offBits = le32(d + 10);
    if (n < kFileHeader + kInfoHeader)
        return IMGLIB_FILE_READ;
    const std::uint8_t* info = d + kFileHeader;
    h.infoSize = le32(info);
    h.width = static_cast<std::int32_t>(le32(info + 4));
    h.height = static_cast<std::int32_t>(le32(info + 8));
    h.bitCount = le16(info + 14);
    h.compression = le32(info + 16);
    h.clrUsed = le32(info + 32);
    return IMGLIB_OK;
}

// Writes pixels into the picture row by row; rows counted in file order.
class PixelSink {
  public:
    PixelSink(Decoded& d, bool topDown) : m_d(d), m_topDown(topDown) {}
    std::uint8_t* row(std::uint32_t fileRow)
    {
        std::uint32_t y = m_topDown ? fileRow : m_d.height - 1 - fileRow;
        return m_d.image.data() + static_cast<std::size_t>(y) * m_d.width * 3;
    }

  private:
    Decoded& m_d;
    bool m_topDown;
};

using Palette = std::array<std::array<std::uint8_t, 3>, 256>; // red, green, blue

// Run-length decoding of 8-bit (nibbles false) or 4-bit (nibbles true) data. Runs are clipped
// at the right edge; deltas and line ends leave skipped pixels black. Data that ends without an
// end-of-bitmap marker keeps what was decoded so far.
void decodeRle(const std::uint8_t* p, const std::uint8_t* end, bool nibbles, const Palette& pal,
               Decoded& d, PixelSink& sink)
{
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    auto put = [&](std::uint8_t index) {
        if (x < d.width && y < d.height) {
            std::uint8_t* px = sink.row(y) + static_cast<std::size_t>(x) * 3;
            std::memcpy(px, pal[index].data(), 3);
        }
        ++x;
    };
    while (end - p >= 2 && y < d.height) {
        const std::uint8_t count = p[0];
        const std::uint8_t value = p[1];
        p += 2;
        if (count != 0) {
            // the rest of an overlong run falls off the right edge
            for (unsigned i = 0; i < count && x < d.width; ++i)
                put(nibbles ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (end - p < 2)
                break;
            x = std::min(x + p[0], d.width); // past the right edge is as good as at it
            y += p[1];
            p += 2;
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const std::size_t bytes = nibbles ? (value + 1u) / 2 : value;
            const std::size_t padded = (bytes + 1) & ~std::size_t(1);
            if (static_cast<std::size_t>(end - p) < bytes)
                break;
            for (unsigned i = 0; i < value && x < d.width; ++i)
                put(nibbles ? ((i & 1) ? p[i / 2] & 0x0F : p[i / 2] >> 4) : p[i]);
            if (x > d.width)
                x = d.width;
            p += std::min<std::size_t>(padded, static_cast<std::size_t>(end - p));
        }
    }
}

void convertRow(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width, int bitCount,
                const Palette& pal)
{
    switch (bitCount) {
    case 1:
    case 4:
    case 8: {
        const unsigned mask = (1u << bitCount) - 1;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::size_t bit = static_cast<std::size_t>(x) * bitCount;
            const unsigned shift = 8 - bitCount - static_cast<unsigned>(bit % 8);
            std::memcpy(dst + x * 3, pal[(src[bit / 8] >> shift) & mask].data(), 3);
        }
        break;
    }
    case 16:
        for (std::uint32_t x = 0; x < width; ++x) {
            const unsigned v = le16(src + x * 2);
            // 5-5-5, low bits blue; each 5-bit value v becomes v * 8 + 7
            dst[x * 3] = static_cast<std::uint8_t>(((v >> 10) & 31) * 8 + 7);
            dst[x * 3 + 1] = static_cast<std::uint8_t>(((v >> 5) & 31) * 8 + 7);
            dst[x * 3 + 2] = static_cast<std::uint8_t>((v & 31) * 8 + 7);
        }
        break;
    case 24:
        for (std::uint32_t x = 0; x < width; ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
        break;
    case 32:
        for (std::uint32_t x = 0; x < width; ++x) {
            dst[x * 3] = src[x * 4 + 2];
            dst[x * 3 + 1] = src[x * 4 + 1];
            dst[x * 3 + 2] = src[x * 4];
        }
        break;
    default:
        break;
    }
}

} // namespace

Decoded decodeBmp(const std::uint8_t* d, std::size_t n, std::uint64_t maxPixels)
{
    Decoded r;
    BmpHeader h;
    if ((r.error = parseHeaders(d, n, h)) != IMGLIB_OK)
        return r;
    // Only the 40-byte header and its longer successors (v4, v5) are read; their first 40
    // bytes mean the same. A width of 0 or less, or no height, is no picture.
    if (h.infoSize < kInfoHeader || h.width <= 0 || h.height == 0 || h.height == INT32_MIN) {
        r.error = IMGLIB_BAD_BMP;
        return r;
    }
    const bool topDown = h.height < 0;
    const std::uint32_t width = static_cast<std::uint32_t>(h.width);
    const std::uint32_t height =
        topDown ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(h.height))
                : static_cast<std::uint32_t>(h.height);
    const int bc = h.bitCount;
    const bool uncompressed =
        h.compression == 0 && (bc == 1 || bc == 4 || bc == 8 || bc == 16 || bc == 24 || bc == 32);
    const bool rle8 = h.compression == 1 && bc == 8;
    const bool rle4 = h.compression == 2 && bc == 4;
    // Run-length data is always stored bottom-up; a top-down RLE file is malformed.
    if (!(uncompressed || rle8 || rle4) || (topDown && !uncompressed)) {
        r.error = IMGLIB_BAD_BMP;
        return r;
    }

    if (static_cast<std::uint64_t>(width) * height > maxPixels) {
        r.error = IMGLIB_OUT_OF_MEMORY;
        return r;
    }
    Palette pal{};
    if (bc <= 8) {
        std::uint32_t count = h.clrUsed != 0 ? h.clrUsed : (1u << bc);
        if (count > 256)
            count = 256;
        const std::uint64_t at = kFileHeader + static_cast<std::uint64_t>(h.infoSize);
        if (at + count * 4ull > n) {
            r.error = IMGLIB_FILE_READ;
            return r;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* e = d + at + i * 4;
            pal[i] = {e[2], e[1], e[0]};
        }
    }
    if (h.offBits > n) {
        r.error = IMGLIB_FILE_READ;
        return r;
    }
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bc + 31) / 32) * 4;
    if (uncompressed && stride * height > n - h.offBits) {
        r.error = IMGLIB_FILE_READ; // the rows are not all there
        return r;
    }
    if (!allocatePicture(r, width, height, maxPixels))
        return r;
    PixelSink sink(r, topDown);
    const std::uint8_t* pixels = d + h.offBits;
    if (uncompressed) {
        for (std::uint32_t y = 0; y < height; ++y)
            convertRow(pixels + y * stride, sink.row(y), width, bc, pal);
    } else {
        decodeRle(pixels, d + n, rle4, pal, r, sink);
    }
    return r;
}

} // namespace codec

RgbImage ImgLibReadRGBFromBMP(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels)
{
    codec::setLastError(IMGLIB_OK);
    codec::Decoded d;
    std::vector<std::uint8_t> bytes;
    d.error = codec::readWholeFile(path, bytes, codec::kMaxBmpFile);
    if (d.error == IMGLIB_OK)
        d = codec::decodeBmp(bytes.data(), bytes.size(), maxPixels);
    return codec::finish(std::move(d), width, height);
}

bool ImgLibGetBMPSize(const std::string& path, unsigned& width, unsigned& height)
{
    codec::setLastError(IMGLIB_OK);
    width = height = 0;
    std::FILE* f = codec::openForRead(path);
    if (!f) {
        codec::setLastError(IMGLIB_FILE_OPEN);
        return false;
    }
    std::uint8_t head[codec::kFileHeader + codec::kInfoHeader];
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    codec::BmpHeader h;
    if (int error = codec::parseHeaders(head, got, h); error != IMGLIB_OK) {
        codec::setLastError(error);
        return false;
    }
    width = static_cast<unsigned>(h.width);
    height = h.height < 0 ? static_cast<unsigned>(-static_cast<std::int64_t>(h.height))
                          : static_cast<unsigned>(h.height);
    return true;
}

bool ImgLibSaveRGBToBMP(const std::string& path, const RgbImage& image, unsigned width,
                        unsigned height)
{
    codec::setLastError(IMGLIB_OK);
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) & ~std::uint64_t(3);
    const std::uint64_t dataSize = stride * height;
    if (!codec::imageMatches(image, width, height) || width > INT32_MAX || height > INT32_MAX ||
        dataSize + 54 > UINT32_MAX) {
        codec::setLastError(IMGLIB_BAD_PARAM);
        return false;
    }
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "wb");
    if (!f) {
        codec::setLastError(IMGLIB_FILE_OPEN);
        return false;
    }
    std::uint8_t head[54] = {'B', 'M'};
    auto put16 = [&](int at, std::uint32_t v) {
        head[at] = static_cast<std::uint8_t>(v);
        head[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](int at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    put32(2, static_cast<std::uint32_t>(dataSize + 54));
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    put16(26, 1);
    put16(28, 24);
    put32(34, static_cast<std::uint32_t>(dataSize));
    bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(stride), 0);
    for (unsigned y = height; ok && y-- > 0;) {
        const std::uint8_t* src = image.data() + static_cast<std::size_t>(y) * width * 3;
        for (unsigned x = 0; x < width; ++x) {
            row[x * 3] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3];
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok)
        codec::setLastError(IMGLIB_FILE_WRITE);
    return ok;
}

} // namespace vistrel
