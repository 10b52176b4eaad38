#include "capture/ImageFormat.h"
#include "capture/RgbFrame.h"
#include "platform/ReplaceFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace vistrel {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool SaveRgbFrameAsBmp(const RgbFrame& frame, const std::string& path, std::string* error)
{
    if (frame.empty() ||
        frame.rgb.size() != static_cast<std::size_t>(frame.width) * frame.height * 3u)
        return fail(error, "No frame to save");

    const ImageFormat info = Rgb24Format(frame.width, frame.height);
    const std::uint32_t rowBytes = Rgb24RowBytes(frame.width);
    const std::uint32_t offset = 14 + kBitmapInfoHeaderSize;

    std::vector<std::uint8_t> out;
    out.reserve(offset + info.sizeImage);
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + info.sizeImage);
    put32(out, 0); // two reserved words
    put32(out, offset);
    put32(out, info.size);
    put32(out, static_cast<std::uint32_t>(info.width));
    put32(out, static_cast<std::uint32_t>(info.height));
    put16(out, info.planes);
    put16(out, info.bitCount);
    put32(out, info.compression);
    put32(out, info.sizeImage);
    put32(out, static_cast<std::uint32_t>(info.xPelsPerMeter));
    put32(out, static_cast<std::uint32_t>(info.yPelsPerMeter));
    put32(out, info.clrUsed);
    put32(out, info.clrImportant);

    for (int y = frame.height - 1; y >= 0; --y) {
        const std::uint8_t* src = frame.row(y);
        for (int x = 0; x < frame.width; ++x, src += 3) {
            out.push_back(src[2]);
            out.push_back(src[1]);
            out.push_back(src[0]);
        }
        for (std::uint32_t pad = static_cast<std::uint32_t>(frame.width) * 3u; pad < rowBytes;
             ++pad)
            out.push_back(0);
    }

    // A new file renamed into place: whoever reads the sample meanwhile sees a whole picture.
    FileReplacement file(path, false);
    if (!file.Create(error))
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(file.Descriptor(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(error, "Cannot write " + path + ": " + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
    if (!file.Commit(error))
        return false;
    return true;
}

} // namespace vistrel
