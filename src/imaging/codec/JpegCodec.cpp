// JPEG reading and writing through libjpeg.

#include "imaging/codec/CodecInternal.h"

#include <csetjmp>
#include <cstring>
#include <memory>

#include <jpeglib.h>

namespace vistrel {
namespace codec {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: jump back to the
// caller, which releases everything and reports code 9.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(mgr->jump, 1);
}

void silentMessage(j_common_ptr)
{
}

// A hostile progressive file can hold thousands of tiny scans; no real picture needs this many.
constexpr int kMaxScans = 1000;

void limitScans(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > kMaxScans)
            errorExit(cinfo);
    }
}

void noteMarkers(j_decompress_ptr cinfo)
{
    ImgLibThreadRecord& record = ImgLibThreadState();
    record.jpegComments.clear();
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker == JPEG_COM)
            record.jpegComments.emplace_back(reinterpret_cast<const char*>(m->data),
                                             m->data_length);
    }
    record.readDensityUnit = cinfo->density_unit;
    record.readXDensity = cinfo->X_density;
    record.readYDensity = cinfo->Y_density;
}

} // namespace

// Everything that changes between setjmp and a possible longjmp lives on the heap behind a
// pointer that does not change, so its values are well defined after the jump.
struct ReadState {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    Decoded r;
    std::vector<JSAMPLE> row;
};

struct WriteState {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    std::FILE* file = nullptr;
};

Decoded decodeJpeg(std::FILE* file, std::uint64_t maxPixels)
{
    auto state = std::make_unique<ReadState>();
    ReadState* const s = state.get();
    jpeg_decompress_struct& cinfo = s->cinfo;
    cinfo.err = jpeg_std_error(&s->err.pub);
    s->err.pub.error_exit = errorExit;
    s->err.pub.output_message = silentMessage;
    s->progress.progress_monitor = limitScans;
    if (setjmp(s->err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        Decoded failed;
        failed.error = IMGLIB_BAD_JPG;
        return failed;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &s->progress;
    cinfo.mem->max_memory_to_use = 1024L * 1024 * 1024;
    jpeg_stdio_src(&cinfo, file);
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    noteMarkers(&cinfo);

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    if (cmyk)
        cinfo.out_color_space = JCS_CMYK;
    else if (cinfo.jpeg_color_space == JCS_GRAYSCALE)
        cinfo.out_color_space = JCS_GRAYSCALE;
    else
        cinfo.out_color_space = JCS_RGB;
    Decoded& r = s->r;
    if (!allocatePicture(r, cinfo.image_width, cinfo.image_height, maxPixels)) {
        jpeg_destroy_decompress(&cinfo);
        return std::move(r);
    }
    jpeg_start_decompress(&cinfo);
    const unsigned comps = static_cast<unsigned>(cinfo.output_components);
    std::vector<JSAMPLE>& row = s->row;
    row.resize(static_cast<std::size_t>(cinfo.output_width) * comps);
    std::uint8_t* out = r.image.data();
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const std::size_t y = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
            break;
        std::uint8_t* dst = out + y * r.width * 3;
        for (unsigned x = 0; x < r.width; ++x) {
            const JSAMPLE* px = row.data() + static_cast<std::size_t>(x) * comps;
            if (comps == 1) {
                dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = px[0];
            } else if (cmyk) {
                // Adobe writes inverted CMYK: each channel times black gives the colour.
                dst[x * 3] = static_cast<std::uint8_t>(px[0] * px[3] / 255);
                dst[x * 3 + 1] = static_cast<std::uint8_t>(px[1] * px[3] / 255);
                dst[x * 3 + 2] = static_cast<std::uint8_t>(px[2] * px[3] / 255);
            } else {
                std::memcpy(dst + x * 3, px, 3);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return std::move(r);
}

} // namespace codec

RgbImage ImgLibReadRGBFromJPG(const std::string& path, unsigned& width, unsigned& height,
                              std::uint64_t maxPixels)
{
    return codec::readThroughStream(path, width, height, codec::decodeJpeg, maxPixels);
}

bool ImgLibSaveRGBToJPG(const std::string& path, const RgbImage& image, unsigned width,
                        unsigned height, int quality, int color, int progressive)
{
    codec::setLastError(IMGLIB_OK);
    if (!codec::imageMatches(image, width, height) || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION) {
        codec::setLastError(IMGLIB_BAD_PARAM);
        return false;
    }
    const ImgLibThreadRecord& options = ImgLibThreadState();
    auto state = std::make_unique<codec::WriteState>();
    codec::WriteState* const s = state.get();
    jpeg_compress_struct& cinfo = s->cinfo;
    cinfo.err = jpeg_std_error(&s->err.pub);
    s->err.pub.error_exit = codec::errorExit;
    s->err.pub.output_message = codec::silentMessage;
    if (setjmp(s->err.jump)) {
        jpeg_destroy_compress(&cinfo);
        if (s->file)
            std::fclose(s->file);
        codec::setLastError(IMGLIB_BAD_JPG);
        return false;
    }
    jpeg_create_compress(&cinfo);
    s->file = path.empty() ? nullptr : std::fopen(path.c_str(), "wb");
    if (!s->file) {
        jpeg_destroy_compress(&cinfo);
        codec::setLastError(IMGLIB_FILE_OPEN);
        return false;
    }
    jpeg_stdio_dest(&cinfo, s->file);
    cinfo.image_width = width;
    cinfo.image_height = height;
    // The buffer is always RGB; a grey picture is converted by libjpeg to one component.
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (!color)
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    jpeg_set_quality(&cinfo, quality, TRUE); // libjpeg clamps the quality to 1..100
    if (progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.density_unit = static_cast<UINT8>(options.jpegDensityUnit);
    cinfo.X_density = static_cast<UINT16>(options.jpegXDensity);
    cinfo.Y_density = static_cast<UINT16>(options.jpegYDensity);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg does not write through the row pointer.
        JSAMPROW rows[1] = {const_cast<JSAMPLE*>(image.data()) +
                            static_cast<std::size_t>(cinfo.next_scanline) * width * 3};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::FILE* f = s->file;
    s->file = nullptr;
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed) {
        codec::setLastError(IMGLIB_BAD_JPG); // libjpeg's own write errors give the same code
        return false;
    }
    return true;
}

} // namespace vistrel
