// GIF87a/GIF89a: our own decoder of the first image.

#include "imaging/codec/CodecInternal.h"

#include <array>
#include <cstring>

namespace vistrel {
namespace codec {

namespace {

constexpr std::size_t kMaxGifFile = 256u << 20;

using Palette = std::array<std::uint8_t, 256 * 3>;

// Bounds-checked reading position in the file.
struct Cursor {
    const std::uint8_t* p;
    const std::uint8_t* end;
    std::size_t left() const { return static_cast<std::size_t>(end - p); }
};

// Skips a chain of data sub-blocks; false when the file ends inside it.
bool skipSubBlocks(Cursor& c)
{
    while (c.left() >= 1) {
        const std::size_t size = *c.p++;
        if (size == 0)
            return true;
        if (c.left() < size)
            return false;
        c.p += size;
    }
    return false;
}

// Joins the image's data sub-blocks. `complete` is false when the file ends before the
// terminating empty block.
std::vector<std::uint8_t> gatherSubBlocks(Cursor& c, bool& complete)
{
    std::vector<std::uint8_t> data;
    complete = false;
    while (c.left() >= 1) {
        const std::size_t size = *c.p++;
        if (size == 0) {
            complete = true;
            break;
        }
        const std::size_t take = std::min(size, c.left());
        data.insert(data.end(), c.p, c.p + take);
        c.p += take;
        if (take < size)
            break;
    }
    return data;
}

// Row of the n-th decoded line of an interlaced image (passes 8/0, 8/4, 4/2, 2/1).
std::uint32_t interlacedRow(std::uint32_t n, std::uint32_t height)
{
    const std::uint32_t pass1 = (height + 7) / 8;
    const std::uint32_t pass2 = (height + 3) / 8;
    const std::uint32_t pass3 = (height + 1) / 4;
    if (n < pass1)
        return n * 8;
    n -= pass1;
    if (n < pass2)
        return 4 + n * 8;
    n -= pass2;
    if (n < pass3)
        return 2 + n * 4;
    n -= pass3;
    return 1 + n * 2;
}

// LZW-decodes into `indices` (width × height). Returns false on a code that cannot occur;
// `produced` receives the number of pixels written.
bool decodeLzw(const std::vector<std::uint8_t>& data, int minCodeSize, std::uint8_t* indices,
               std::uint64_t total, std::uint64_t& produced)
{
    constexpr int kMaxCodes = 4096;
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes> first{};
    std::array<std::uint8_t, kMaxCodes + 1> stack{};

    const int clear = 1 << minCodeSize;
    const int eoi = clear + 1;
    int codeSize = minCodeSize + 1;
    int next = clear + 2;
    int prev = -1;
    for (int i = 0; i < clear; ++i) {
        suffix[i] = static_cast<std::uint8_t>(i);
        first[i] = static_cast<std::uint8_t>(i);
    }

    std::size_t bytePos = 0;
    std::uint32_t bits = 0;
    int bitCount = 0;
    produced = 0;
    while (produced < total) {
        while (bitCount < codeSize && bytePos < data.size()) {
            bits |= static_cast<std::uint32_t>(data[bytePos++]) << bitCount;
            bitCount += 8;
        }
        if (bitCount < codeSize)
            return true; // data ended; the caller decides whether that is acceptable
        const int code = static_cast<int>(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        bitCount -= codeSize;

        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == eoi)
            return true;
        int cur;
        if (prev < 0) {
            if (code > clear)
                return false;
            cur = code;
        } else if (code < next) {
            cur = code;
        } else if (code == next && next < kMaxCodes) {
            cur = -1; // the code being defined right now: prev's string plus its first byte
        } else {
            return false;
        }
        // Unwind the string onto the stack, then copy it out in order.
        int sp = 0;
        std::uint8_t firstByte;
        if (cur < 0) {
            firstByte = first[prev];
            stack[sp++] = firstByte;
            cur = prev;
        }
        int walk = cur;
        while (walk >= clear) {
            stack[sp++] = suffix[walk];
            walk = prefix[walk];
        }
        stack[sp++] = static_cast<std::uint8_t>(walk);
        firstByte = static_cast<std::uint8_t>(walk);
        while (sp > 0 && produced < total)
            indices[produced++] = stack[--sp];

        if (prev >= 0 && next < kMaxCodes) {
            prefix[next] = static_cast<std::uint16_t>(prev);
            suffix[next] = firstByte;
            first[next] = first[prev];
            ++next;
            if (next == (1 << codeSize) && codeSize < 12)
                ++codeSize;
        }
        prev = code;
    }
    return true;
}

} // namespace

Decoded decodeGif(const std::uint8_t* d, std::size_t n, std::uint64_t maxPixels)
{
    Decoded r;
    r.error = IMGLIB_BAD_GIF;
    if (n < 13 || (std::memcmp(d, "GIF87a", 6) != 0 && std::memcmp(d, "GIF89a", 6) != 0))
        return r;
    const std::uint32_t screenW = le16(d + 6);
    const std::uint32_t screenH = le16(d + 8);
    const std::uint8_t screenFlags = d[10];
    const std::uint8_t background = d[11];
    Cursor c{d + 13, d + n};

    Palette global{};
    bool hasGlobal = false;
    if (screenFlags & 0x80) {
        const std::size_t entries = 2u << (screenFlags & 7);
        if (c.left() < entries * 3)
            return r;
        std::memcpy(global.data(), c.p, entries * 3);
        c.p += entries * 3;
        hasGlobal = true;
    }

    int transparentIndex = -1;
    for (;;) {
        if (c.left() < 1)
            return r;
        const std::uint8_t kind = *c.p++;
        if (kind == 0x21) { // extension
            if (c.left() < 1)
                return r;
            const std::uint8_t label = *c.p++;
            if (label == 0xF9 && c.left() >= 5 && c.p[0] >= 4) {
                // graphic control extension: flags, delay (2), transparent index
                transparentIndex = (c.p[1] & 1) ? c.p[4] : -1;
            }
            if (!skipSubBlocks(c))
                return r;
            continue;
        }
        if (kind != 0x2C) // a trailer or anything else before the first image
            return r;
        break;
    }

    if (c.left() < 9)
        return r;
    const std::uint32_t left = le16(c.p);
    const std::uint32_t top = le16(c.p + 2);
    const std::uint32_t imageW = le16(c.p + 4);
    const std::uint32_t imageH = le16(c.p + 6);
    const std::uint8_t imageFlags = c.p[8];
    c.p += 9;
    if (imageW == 0 || imageH == 0)
        return r;
    Palette local{};
    const Palette* pal = hasGlobal ? &global : &local;
    if (imageFlags & 0x80) {
        const std::size_t entries = 2u << (imageFlags & 7);
        if (c.left() < entries * 3)
            return r;
        std::memcpy(local.data(), c.p, entries * 3);
        c.p += entries * 3;
        pal = &local;
    }
    if (c.left() < 1)
        return r;
    const int minCodeSize = *c.p++;
    if (minCodeSize < 1 || minCodeSize > 8)
        return r;

    // The image is placed on the logical screen; a screen too small for it grows to hold it.
    const std::uint64_t canvasW = std::max<std::uint64_t>(screenW, left + imageW);
    const std::uint64_t canvasH = std::max<std::uint64_t>(screenH, top + imageH);
    if (canvasW * canvasH > maxPixels) {
        r.error = IMGLIB_OUT_OF_MEMORY;
        return r;
    }
    bool complete = false;
    const std::vector<std::uint8_t> data = gatherSubBlocks(c, complete);
    const std::uint64_t total = static_cast<std::uint64_t>(imageW) * imageH;
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(total), 0);
    std::uint64_t produced = 0;
    if (!decodeLzw(data, minCodeSize, indices.data(), total, produced))
        return r;
    if (produced < total && !complete)
        return r; // the file ends inside the picture

    if (!allocatePicture(r, canvasW, canvasH, maxPixels))
        return r;
    r.error = IMGLIB_OK;
    std::uint8_t* out = r.image.data();
    if (hasGlobal && (imageW != canvasW || imageH != canvasH)) {
        const std::uint8_t* bg = &global[background * 3u];
        for (std::size_t i = 0; i < static_cast<std::size_t>(canvasW * canvasH); ++i)
            std::memcpy(out + i * 3, bg, 3);
    }
    const bool interlaced = imageFlags & 0x40;
    for (std::uint32_t line = 0; line < imageH; ++line) {
        const std::uint32_t y = top + (interlaced ? interlacedRow(line, imageH) : line);
        const std::uint8_t* src = indices.data() + static_cast<std::size_t>(line) * imageW;
        std::uint8_t* dst = out + (static_cast<std::size_t>(y) * canvasW + left) * 3;
        for (std::uint32_t x = 0; x < imageW; ++x)
            std::memcpy(dst + x * 3, &(*pal)[src[x] * 3u], 3);
    }
    if (transparentIndex >= 0) {
        const int index = std::min(transparentIndex, 255);
        const std::uint8_t* e = &(*pal)[static_cast<std::size_t>(index) * 3];
        r.transparent = makeColorRef(e[0], e[1], e[2]);
    }
    return r;
}

} // namespace codec

RgbImage ImgLibReadRGBFromGIF(const std::string& path, unsigned& width, unsigned& height,
                              ColorRef& transparent, std::uint64_t maxPixels)
{
    codec::setLastError(IMGLIB_OK);
    transparent = kNoColor;
    codec::Decoded d;
    std::vector<std::uint8_t> bytes;
    d.error = codec::readWholeFile(path, bytes, codec::kMaxGifFile);
    if (d.error == IMGLIB_OK)
        d = codec::decodeGif(bytes.data(), bytes.size(), maxPixels);
    if (d.error == IMGLIB_OK)
        transparent = d.transparent;
    return codec::finish(std::move(d), width, height);
}

} // namespace vistrel
