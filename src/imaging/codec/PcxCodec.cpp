// PCX: our own run-length decoder.

#include "imaging/codec/CodecInternal.h"

#include <cstring>

namespace vistrel {
namespace codec {

namespace {

constexpr std::size_t kHeader = 128;
constexpr std::size_t kTrailingPalette = 769; // 0x0C followed by 256 RGB entries
constexpr std::size_t kMaxPcxFile = 256u << 20;

// Unpacks the run-length stream one scan line at a time; runs may cross line ends.
class RleReader {
  public:
    RleReader(const std::uint8_t* p, const std::uint8_t* end, bool compressed)
        : m_p(p), m_end(end), m_compressed(compressed)
    {
    }
    // False when the data ends before the line is full.
    bool readLine(std::uint8_t* line, std::size_t length)
    {
        std::size_t i = 0;
        while (i < length) {
            if (m_count != 0) { // the rest of a run, possibly begun on the line before
                const std::size_t take = std::min<std::size_t>(m_count, length - i);
                std::memset(line + i, m_value, take);
                i += take;
                m_count -= static_cast<unsigned>(take);
                continue;
            }
            if (m_p >= m_end)
                return false;
            const std::uint8_t c = *m_p++;
            if (m_compressed && (c & 0xC0) == 0xC0) {
                if (m_p >= m_end)
                    return false;
                m_count = c & 0x3F; // a run of 0 is skipped
                m_value = *m_p++;
            } else {
                line[i++] = c;
            }
        }
        return true;
    }

  private:
    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
    bool m_compressed;
    unsigned m_count = 0;
    std::uint8_t m_value = 0;
};

} // namespace

Decoded decodePcx(const std::uint8_t* d, std::size_t n, std::uint64_t maxPixels)
{
    Decoded r;
    r.error = IMGLIB_BAD_PCX;
    if (n < kHeader || d[0] != 0x0A || d[2] > 1)
        return r;
    const bool compressed = d[2] == 1;
    const unsigned bpp = d[3];
    const std::uint16_t xmin = le16(d + 4), ymin = le16(d + 6);
    const std::uint16_t xmax = le16(d + 8), ymax = le16(d + 10);
    const unsigned planes = d[65];
    const std::size_t bytesPerLine = le16(d + 66);
    if (xmax < xmin || ymax < ymin)
        return r;
    const std::uint32_t width = xmax - xmin + 1u;
    const std::uint32_t height = ymax - ymin + 1u;

    const bool lowColour = (bpp == 1 || bpp == 2 || bpp == 4) && planes >= 1 && bpp * planes <= 4;
    const bool paletted8 = bpp == 8 && planes == 1;
    const bool trueColour = bpp == 8 && planes == 3;
    if (!(lowColour || paletted8 || trueColour))
        return r;
    // Each plane's line must hold the picture's width; odd values (against the format's rule
    // of even ones) are common and fine.
    if (bytesPerLine * 8 < static_cast<std::size_t>(width) * bpp)
        return r;

    // 256-colour palette at the end of the file, or a grey ramp without one.
    std::uint8_t pal[256 * 3];
    const std::uint8_t* dataEnd = d + n;
    if (paletted8) {
        if (n >= kHeader + kTrailingPalette && d[n - kTrailingPalette] == 0x0C) {
            std::memcpy(pal, d + n - 768, 768);
            dataEnd = d + n - kTrailingPalette;
        } else {
            for (int i = 0; i < 256; ++i)
                pal[i * 3] = pal[i * 3 + 1] = pal[i * 3 + 2] = static_cast<std::uint8_t>(i);
        }
    } else if (lowColour) {
        std::memcpy(pal, d + 16, 48);
    }

    // Even at the longest runs (63 bytes from two) the data must be able to fill every line;
    // this turns away a huge announced picture on a short file before anything is allocated.
    const std::uint64_t needed = static_cast<std::uint64_t>(bytesPerLine) * planes * height;
    const std::uint64_t available = static_cast<std::uint64_t>(dataEnd - (d + kHeader));
    if (needed > (compressed ? available * 32 : available))
        return r;
    if (!allocatePicture(r, width, height, maxPixels))
        return r;
    std::vector<std::uint8_t> line(bytesPerLine * planes);
    RleReader reader(d + kHeader, dataEnd, compressed);
    std::uint8_t* out = r.image.data();
    for (std::uint32_t y = 0; y < height; ++y) {
        if (!reader.readLine(line.data(), line.size())) {
            r = Decoded();
            r.error = IMGLIB_BAD_PCX; // truncated picture data
            return r;
        }
        std::uint8_t* dst = out + static_cast<std::size_t>(y) * width * 3;
        if (trueColour) {
            for (std::uint32_t x = 0; x < width; ++x) {
                dst[x * 3] = line[x];
                dst[x * 3 + 1] = line[bytesPerLine + x];
                dst[x * 3 + 2] = line[2 * bytesPerLine + x];
            }
        } else if (paletted8) {
            for (std::uint32_t x = 0; x < width; ++x)
                std::memcpy(dst + x * 3, pal + line[x] * 3, 3);
        } else {
            const unsigned mask = (1u << bpp) - 1;
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::size_t bit = static_cast<std::size_t>(x) * bpp;
                const unsigned shift = 8 - bpp - static_cast<unsigned>(bit % 8);
                unsigned index = 0;
                for (unsigned p = 0; p < planes; ++p)
                    index |= ((line[p * bytesPerLine + bit / 8] >> shift) & mask) << (p * bpp);
                std::memcpy(dst + x * 3, pal + index * 3, 3);
            }
        }
    }
    r.error = IMGLIB_OK;
    return r;
}

} // namespace codec

RgbImage ImgLibReadRGBFromPCX(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels)
{
    codec::setLastError(IMGLIB_OK);
    codec::Decoded d;
    std::vector<std::uint8_t> bytes;
    d.error = codec::readWholeFile(path, bytes, codec::kMaxPcxFile);
    if (d.error == IMGLIB_OK)
        d = codec::decodePcx(bytes.data(), bytes.size(), maxPixels);
    return codec::finish(std::move(d), width, height);
}

} // namespace vistrel
