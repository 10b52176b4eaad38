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
    const char* limit; // why the decoding was given up, when a limit ended it
};

// Looked at by libjpeg many times a scan: a progressive picture with endless scans, or one that
// takes longer than the grab may, is given up.
struct JpegProgress {
    jpeg_progress_mgr mgr;
    int maxScans;
    std::chrono::steady_clock::time_point deadline;
};

void jpegProgress(j_common_ptr cinfo)
{
    auto* p = reinterpret_cast<JpegProgress*>(cinfo->progress);
    auto* e = reinterpret_cast<JpegError*>(cinfo->err);
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > p->maxScans)
        e->limit = "the JPEG picture has too many scans";
    else if (std::chrono::steady_clock::now() > p->deadline)
        e->limit = "the JPEG picture could not be decoded in time";
    if (e->limit)
        std::longjmp(e->jump, 1);
}

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
                std::chrono::steady_clock::time_point deadline, RgbFrame& frame, std::string& error)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    std::memset(&err, 0, sizeof err);
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegErrorExit;
    err.mgr.emit_message = jpegMessage;
    JpegProgress progress{};
    progress.mgr.progress_monitor = jpegProgress;
    progress.maxScans = limits.maxJpegScans;
    progress.deadline = deadline;
    // Nothing with a destructor lives between here and the jumps back.
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        frame = RgbFrame();
        error = err.limit ? std::string(err.limit)
                          : std::string("the JPEG picture is damaged (") + err.message + ")";
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress.mgr;
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

namespace {

// A URL cut for showing it: "scheme://", the user information (which may hold an unencoded '/'
// or '@': it runs to the last '@' before the query), and the rest from the host on.
struct ShownUrl {
    std::string_view prefix;
    std::string_view userinfo;
    std::string_view rest;
    bool hasUserinfo = false;
};

ShownUrl splitForShowing(std::string_view url)
{
    ShownUrl s;
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos) {
        s.rest = url;
        return s;
    }
    s.prefix = url.substr(0, colon + 3);
    std::string_view after = url.substr(colon + 3);
    const std::size_t queryAt = after.find_first_of("?#");
    const std::size_t at = after.substr(0, queryAt).rfind('@');
    const std::size_t slash = after.find('/');
    // An '@' after a '/' is the user information's only when a ':' comes before that '/' (the
    // password holds the '/'); otherwise it belongs to the path.
    if (at != std::string_view::npos &&
        (slash == std::string_view::npos || slash > at || after.find(':') < slash)) {
        s.userinfo = after.substr(0, at);
        s.rest = after.substr(at + 1);
        s.hasUserinfo = true;
    } else {
        s.rest = after;
    }
    return s;
}

// Whether a query parameter of this name carries a secret.
bool secretParameter(std::string_view name)
{
    std::string l;
    for (char c : name)
        l += lower(c);
    for (const char* part : {"pass", "pwd", "token", "secret"})
        if (l.find(part) != std::string::npos)
            return true;
    for (const char* exact :
         {"key", "apikey", "api_key", "authkey", "auth", "sig", "signature", "credentials"})
        if (l == exact)
            return true;
    return false;
}

} // namespace

std::string UrlWithoutPassword(std::string_view url)
{
    const ShownUrl s = splitForShowing(url);
    std::string out;
    for (char c : s.prefix)
        out += lower(c);
    if (s.hasUserinfo) {
        const std::size_t sep = s.userinfo.find(':');
        out += sep == std::string_view::npos ? std::string(s.userinfo)
                                             : std::string(s.userinfo.substr(0, sep)) + ":***";
        out += '@';
    }
    // The query's secrets: "?usr=admin&pwd=***".
    const std::string_view rest = s.rest;
    const std::size_t query = rest.find('?');
    if (query == std::string_view::npos)
        return out + std::string(rest);
    const std::size_t fragment = rest.find('#', query);
    out += rest.substr(0, query + 1);
    const std::string_view params =
        rest.substr(query + 1, fragment == std::string_view::npos ? std::string_view::npos
                                                                  : fragment - query - 1);
    std::size_t from = 0;
    while (from <= params.size()) {
        std::size_t to = params.find_first_of("&;", from);
        if (to == std::string_view::npos)
            to = params.size();
        const std::string_view param = params.substr(from, to - from);
        const std::size_t eq = param.find('=');
        if (eq != std::string_view::npos && eq + 1 < param.size() &&
            secretParameter(param.substr(0, eq)))
            out += std::string(param.substr(0, eq + 1)) + "***";
        else
            out += param;
        if (to < params.size())
            out += params[to];
        from = to + 1;
    }
    if (fragment != std::string_view::npos)
        out += rest.substr(fragment);
    return out;
}

std::string UrlHost(std::string_view url)
{
    const CameraUrl u = ParseCameraUrl(url);
    const ShownUrl s = splitForShowing(url);
    if (!u.valid || !s.hasUserinfo)
        return u.valid ? u.hostPort : UrlWithoutPassword(url);
    // The host after the user information, which may hold a '/'.
    const std::string_view host = s.rest.substr(0, s.rest.find_first_of("/?#"));
    return host.empty() ? UrlWithoutPassword(url) : std::string(host);
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
                         std::string& error, std::chrono::steady_clock::time_point deadline)
{
    static const std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size >= 3 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff) {
        format = "JPEG";
        return decodeJpeg(data, size, limits, deadline, frame, error);
    }
    if (size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0) {
        format = "PNG";
        return decodePng(data, size, limits, frame, error);
    }
    error =
        size == 0 ? "the camera sent an empty answer" : "the camera sent no JPEG or PNG picture";
    return false;
}

bool CertificateUnchecked(const NetworkCameraSettings& camera)
{
    return ParseCameraUrl(camera.url).scheme == "https" && !camera.verifyCertificate &&
           camera.certificateFingerprint.empty();
}

} // namespace vistrel
