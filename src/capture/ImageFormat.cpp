#include "capture/ImageFormat.h"

#include "config/KeyCatalogue.h"

namespace vistrel {

namespace {

std::array<const char*, 11> keyNames()
{
    static_assert(std::size(keys::kVideoFormat) == 11);
    std::array<const char*, 11> names{};
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = keys::kVideoFormat[i]->key.data(); // a literal's view: null-terminated
    return names;
}

} // namespace

const std::array<const char*, 11> kImageFormatKeys = keyNames();

std::uint32_t Rgb24RowBytes(int width)
{
    if (width <= 0)
        return 0;
    return (static_cast<std::uint32_t>(width) * 3u + 3u) & ~3u;
}

ImageFormat Rgb24Format(int width, int height)
{
    ImageFormat f;
    f.size = kBitmapInfoHeaderSize;
    f.width = width;
    f.height = height;
    f.planes = 1;
    f.bitCount = 24;
    f.compression = 0;
    f.sizeImage = Rgb24RowBytes(width) * static_cast<std::uint32_t>(height > 0 ? height : -height);
    return f;
}

std::array<std::int64_t, 11> ImageFormatValues(const ImageFormat& f)
{
    // Unsigned 32-bit fields are stored as the signed integers "%d" would print.
    auto u = [](std::uint32_t v) {
        return static_cast<std::int64_t>(static_cast<std::int32_t>(v));
    };
    return {u(f.size),       f.width,          f.height,         f.planes,
            f.bitCount,      u(f.compression), u(f.sizeImage),   f.xPelsPerMeter,
            f.yPelsPerMeter, u(f.clrUsed),     u(f.clrImportant)};
}

void WriteImageFormat(const ImageFormat& format,
                      const std::function<void(const std::string& key, std::int64_t value)>& write)
{
    const auto values = ImageFormatValues(format);
    for (std::size_t i = 0; i < kImageFormatKeys.size(); ++i)
        write(kImageFormatKeys[i], values[i]);
}

ImageFormat ReadImageFormat(const std::function<std::int64_t(const std::string& key)>& read)
{
    auto u32 = [&](int i) { return static_cast<std::uint32_t>(read(kImageFormatKeys[i])); };
    auto s32 = [&](int i) { return static_cast<std::int32_t>(u32(i)); };
    auto u16 = [&](int i) { return static_cast<std::uint16_t>(u32(i)); };
    ImageFormat f;
    f.size = u32(0);
    f.width = s32(1);
    f.height = s32(2);
    f.planes = u16(3);
    f.bitCount = u16(4);
    f.compression = u32(5);
    f.sizeImage = u32(6);
    f.xPelsPerMeter = s32(7);
    f.yPelsPerMeter = s32(8);
    f.clrUsed = u32(9);
    f.clrImportant = u32(10);
    return f;
}

} // namespace vistrel
