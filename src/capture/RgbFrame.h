#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

// One captured picture: width x height pixels, rows top to bottom, three bytes a pixel in the
// order red, green, blue, rows packed without padding.
struct RgbFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    bool empty() const { return width <= 0 || height <= 0 || rgb.empty(); }
    void resize(int w, int h)
    {
        width = w;
        height = h;
        rgb.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3u, 0);
    }
    std::uint8_t* row(int y) { return rgb.data() + static_cast<std::size_t>(y) * width * 3u; }
    const std::uint8_t* row(int y) const
    {
        return rgb.data() + static_cast<std::size_t>(y) * width * 3u;
    }
};

// Writes the frame as an uncompressed 24-bit bitmap file (file header, 40-byte info header,
// bottom-up rows in blue-green-red order padded to four bytes). The file is replaced by rename,
// so a reader never sees a part of it; a symlink at path is replaced, not followed. Returns false
// with *error set on failure.
bool SaveRgbFrameAsBmp(const RgbFrame& frame, const std::string& path, std::string* error);

} // namespace vistrel
