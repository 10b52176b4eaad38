#include "capture/NetworkCamera.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
// jpeglib.h must come first: jerror.h uses its types.
#include <jerror.h>
#include <png.h>

namespace vistrel {

namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string percentEncode(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// --- JPEG -----------------------------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool cutShort;
};

void jpegErrorExit(j_common_ptr cinfo)
{
    auto* e = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, e->message);
    std::longjmp(e->jump, 1);
}

void jpegMessage(j_common_ptr cinfo, int level)
{
    // The data running out before the end of the picture is only a warning to libjpeg, which then
    // fills the rest with grey; a picture cut short is no picture to publish.
    auto* e = reinterpret_cast<JpegError*>(cinfo->err);
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        e->cutShort = true;
}

bool decodeJpeg(const std::uint8_t* data, std::size_t size, const NetworkCameraLimits& limits,
                RgbFrame& frame, std::string& error)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    std::memset(&err, 0, sizeof err);
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegErrorExit;
    err.mgr.emit_message = jpegMessage;
    // Nothing with a destructor lives between here and the jumps back.
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        error = std::string("the JPEG picture is damaged (") + err.message + ")";
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    if (const std::string refusal = PictureSizeRefusal(width, height, limits); !refusal.empty()) {
        jpeg_destroy_decompress(&cinfo);
        error = refusal;
        return false;
    }
    frame.resize(width, height);
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = frame.row(static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (err.cutShort)
            break;
    }
    const bool cutShort = err.cutShort;
    if (!cutShort)
        jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (cutShort || err.cutShort) {
        frame = RgbFrame();
        error = "the JPEG picture is cut short";
        return false;
    }
    return true;
}

// --- PNG ------------------------------------------------------------------------------------

bool decodePng(const std::uint8_t* data, std::size_t size, const NetworkCameraLimits& limits,
               RgbFrame& frame, std::string& error)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) {
        error = std::string("the PNG picture is damaged (") + image.message + ")";
        png_image_free(&image);
        return false;
    }
    const auto side = [](png_uint_32 v) {
        return static_cast<int>(std::min<png_uint_32>(v, 1u << 30));
    };
    if (const std::string refusal =
            PictureSizeRefusal(side(image.width), side(image.height), limits);
        !refusal.empty()) {
        png_image_free(&image);
        error = refusal;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    frame.resize(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!png_image_finish_read(&image, nullptr, frame.rgb.data(),
                               static_cast<png_int_32>(image.width * 3), nullptr)) {
        error = std::string("the PNG picture is damaged (") + image.message + ")";
        png_image_free(&image);
        frame = RgbFrame();
        return false;
    }
    return true;
}

} // namespace

NetworkCameraKind NetworkCameraKindOf(std::string_view url)
{
    const CameraUrl u = ParseCameraUrl(url);
    if (!u.valid)
        return NetworkCameraKind::Unsupported;
    if (u.scheme == "http" || u.scheme == "https")
        return NetworkCameraKind::Http;
    if (u.scheme == "rtsp")
        return NetworkCameraKind::Rtsp;
    return NetworkCameraKind::Unsupported;
}

CameraUrl ParseCameraUrl(std::string_view url)
{
    CameraUrl u;
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos || colon == 0)
        return u;
    for (char c : url.substr(0, colon)) {
        const char l = lower(c);
        if (!((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '+' || l == '-' || l == '.'))
            return u;
        u.scheme += l;
    }
    std::string_view after = url.substr(colon + 3);
    const std::size_t end = after.find_first_of("/?#");
    std::string_view authority = after.substr(0, end);
    u.rest = end == std::string_view::npos ? std::string() : std::string(after.substr(end));
    // The last '@' ends the user information: a password may hold an unencoded '@'.
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        u.userinfo = std::string(authority.substr(0, at));
        authority = authority.substr(at + 1);
    }
    u.hostPort = std::string(authority);
    u.valid = !u.hostPort.empty() && u.hostPort[0] != ':';
    return u;
}

std::string UrlWithoutPassword(std::string_view url)
{
    const CameraUrl u = ParseCameraUrl(url);
    if (!u.valid) {
        // Not a URL we understand: hide whatever stands between "://" and an '@'.
        const std::size_t colon = url.find("://");
        const std::size_t at = url.rfind('@');
        if (colon != std::string_view::npos && at != std::string_view::npos && at > colon)
            return std::string(url.substr(0, colon + 3)) + "***" + std::string(url.substr(at));
        return std::string(url);
    }
    std::string out = u.scheme + "://";
    if (!u.userinfo.empty()) {
        const std::size_t sep = u.userinfo.find(':');
        out += sep == std::string::npos ? u.userinfo : u.userinfo.substr(0, sep) + ":***";
        out += '@';
    }
    return out + u.hostPort + u.rest;
}

std::string UrlHost(std::string_view url)
{
    const CameraUrl u = ParseCameraUrl(url);
    return u.valid ? u.hostPort : UrlWithoutPassword(url);
}

std::string UrlWithCredentials(std::string_view url, const std::string& username,
                               const std::string& password)
{
    const CameraUrl u = ParseCameraUrl(url);
    if (!u.valid || username.empty())
        return std::string(url);
    // Always with the colon: FFmpeg answers a challenge only for "user:password".
    const std::string userinfo = percentEncode(username) + ":" + percentEncode(password);
    return u.scheme + "://" + userinfo + "@" + u.hostPort + u.rest;
}

std::string PictureSizeRefusal(int width, int height, const NetworkCameraLimits& limits)
{
    if (width <= 0 || height <= 0)
        return "the picture has no size";
    if (width > limits.maxDimension || height > limits.maxDimension ||
        static_cast<std::int64_t>(width) * height > limits.maxPixels)
        return "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
               ", larger than the " + std::to_string(limits.maxDimension) + " pixels a side and " +
               std::to_string(limits.maxPixels / 1'000'000) + " megapixels a camera may send";
    return {};
}

bool DecodeCameraPicture(const std::uint8_t* data, std::size_t size,
                         const NetworkCameraLimits& limits, RgbFrame& frame, std::string& format,
                         std::string& error)
{
    static const std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size >= 3 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff) {
        format = "JPEG";
        return decodeJpeg(data, size, limits, frame, error);
    }
    if (size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0) {
        format = "PNG";
        return decodePng(data, size, limits, frame, error);
    }
    error =
        size == 0 ? "the camera sent an empty answer" : "the camera sent no JPEG or PNG picture";
    return false;
}

} // namespace vistrel
