#include "capture/RtspCameraBackend.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/base64.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/md5.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vistrel {

namespace {

void initFfmpegOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // FFmpeg's own log would go to standard error, with addresses in it.
        av_log_set_level(AV_LOG_QUIET);
        // No single allocation beyond what the largest picture a camera may send needs (two
        // bytes a pixel, for 10-bit pictures, and some room): a frame that never ends, or an
        // answer that announces two gigabytes, fails there instead of taking the memory.
        av_max_alloc(static_cast<std::size_t>(NetworkCameraLimits{}.maxPixels) * 2 + (8u << 20));
        avformat_network_init();
    });
}

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string codecName(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_H264:
        return "H.264";
    case AV_CODEC_ID_HEVC:
        return "H.265";
    case AV_CODEC_ID_MJPEG:
        return "Motion-JPEG";
    default:
        return avcodec_get_name(id);
    }
}

char lowerChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerChar(x) == lowerChar(y);
           });
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// "host:port" with RTSP's port when none is written, lower case, for telling hosts apart.
std::string canonicalHostPort(const std::string& hostPort)
{
    std::string h;
    for (char c : hostPort)
        h += lowerChar(c);
    const std::size_t bracket = h.rfind(']');
    const std::size_t colon = h.rfind(':');
    const bool hasPort = colon != std::string::npos &&
                         (bracket == std::string::npos ? h.find(':') == colon : colon > bracket);
    return hasPort ? h : h + ":554";
}

std::string md5Hex(const std::string& text)
{
    std::uint8_t sum[16];
    av_md5_sum(sum, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : sum) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

// The value of name="value" (or name=value) in an authentication challenge.
std::string challengeParameter(const std::string& challenge, const std::string& name)
{
    std::size_t at = 0;
    while ((at = challenge.find(name + "=", at)) != std::string::npos) {
        if (at == 0 || challenge[at - 1] == ' ' || challenge[at - 1] == ',') {
            std::size_t v = at + name.size() + 1;
            if (v < challenge.size() && challenge[v] == '"') {
                const std::size_t end = challenge.find('"', v + 1);
                return challenge.substr(v + 1, end == std::string::npos ? end : end - v - 1);
            }
            const std::size_t end = challenge.find_first_of(", ", v);
            return challenge.substr(v, end == std::string::npos ? end : end - v);
        }
        ++at;
    }
    return {};
}

// What a camera answers to DESCRIBE, as far as telling where it sends the client goes.
struct DescribeAnswer {
    int status = 0;
    std::string location;  // of a redirect
    std::string challenge; // the first WWW-Authenticate
};

// One DESCRIBE of url (without credentials) to hostPort, with an Authorization header when
// given, read up to the end of the answer's header (at most 16 KiB) before deadline or until
// stop is set. False when there was no usable answer.
bool describeOnce(const std::string& hostPort, const std::string& url,
                  const std::string& authorization, std::int64_t deadlineNs,
                  const std::atomic<bool>& stop, DescribeAnswer& answer)
{
    std::string host = hostPort;
    std::string port = "554";
    const std::size_t bracket = host.rfind(']');
    const std::size_t colon = host.rfind(':');
    if (!host.empty() && host[0] == '[' && bracket != std::string::npos) {
        if (colon != std::string::npos && colon > bracket)
            port = host.substr(colon + 1);
        host = host.substr(1, bracket - 1);
    } else if (colon != std::string::npos && host.find(':') == colon) {
        port = host.substr(colon + 1);
        host = host.substr(0, colon);
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return false;
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            found->ai_protocol);
    const int connected = fd < 0 ? -1 : ::connect(fd, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    if (fd < 0)
        return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (connected != 0 && errno != EINPROGRESS)
        return false;
    // Waits for the socket in steps, so that a stop is seen soon.
    auto wait = [&](short events) {
        for (;;) {
            if (stop)
                return false;
            const std::int64_t left = (deadlineNs - nowNs()) / 1'000'000;
            if (left <= 0)
                return false;
            pollfd p{fd, events, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 100)));
            if (r > 0)
                return (p.revents & (events | POLLHUP | POLLERR)) != 0;
            if (r < 0 && errno != EINTR)
                return false;
        }
    };
    if (!wait(POLLOUT))
        return false;
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0)
        return false;
    const std::string request = "DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 1\r\n" +
                                "Accept: application/sdp\r\nUser-Agent: Vistrel\r\n" +
                                authorization + "\r\n";
    std::size_t sent = 0;
    while (sent < request.size()) {
        if (!wait(POLLOUT))
            return false;
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (n > 0)
            sent += static_cast<std::size_t>(n);
    }
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > 16384 || !wait(POLLIN))
            break;
        char buffer[2048];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0)
            break;
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        if (n > 0)
            head.append(buffer, static_cast<std::size_t>(n));
    }
    if (head.compare(0, 5, "RTSP/") != 0)
        return false;
    const std::size_t space = head.find(' ');
    answer.status = space == std::string::npos ? 0 : std::atoi(head.c_str() + space + 1);
    std::size_t lineStart = head.find("\r\n");
    while (lineStart != std::string::npos && lineStart + 2 < head.size()) {
        const std::size_t lineEnd = head.find("\r\n", lineStart + 2);
        const std::string line = head.substr(
            lineStart + 2, lineEnd == std::string::npos ? lineEnd : lineEnd - lineStart - 2);
        const std::size_t c = line.find(':');
        if (c != std::string::npos) {
            const std::string name = line.substr(0, c);
            std::string value = line.substr(c + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            if (equalNoCase(name, "Location") && answer.location.empty())
                answer.location = value;
            else if (equalNoCase(name, "WWW-Authenticate") && answer.challenge.empty())
                answer.challenge = value;
        }
        lineStart = lineEnd;
    }
    return answer.status > 0;
}

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

} // namespace

RtspCameraBackend::RtspCameraBackend(const NetworkCameraSettings& camera,
                                     const NetworkCameraLimits& limits)
    : NetworkCameraBackend(camera, limits, NetworkCameraKind::Rtsp),
      m_strUrl(UrlWithCredentials(camera.url, camera.username, camera.password))
{
    initFfmpegOnce();
}

RtspCameraBackend::~RtspCameraBackend()
{
    stopReader();
    sws_freeContext(m_sws);
}

int RtspCameraBackend::interrupted(void* self)
{
    auto* backend = static_cast<RtspCameraBackend*>(self);
    return backend->m_stream.stopping() || nowNs() > backend->m_nOpenDeadline ? 1 : 0;
}

std::string RtspCameraBackend::redirectRefusal(std::int64_t deadlineNs) const
{
    const CameraUrl u = ParseCameraUrl(m_strUrl);
    if (!u.valid || u.userinfo.empty())
        return {}; // no credentials to give away: a redirect goes where it goes
    const std::size_t sep = u.userinfo.find(':');
    const std::string user = percentDecode(u.userinfo.substr(0, sep));
    const std::string password =
        sep == std::string::npos ? std::string() : percentDecode(u.userinfo.substr(sep + 1));
    const std::string plainUrl = u.scheme + "://" + u.hostPort + (u.rest.empty() ? "/" : u.rest);

    DescribeAnswer answer;
    if (!describeOnce(u.hostPort, plainUrl, {}, deadlineNs, m_stream.stopping(), answer))
        return {}; // FFmpeg says what is wrong
    if (answer.status == 401) {
        // Credentials go to the configured host only: ask again with them, to see whether the
        // camera redirects a client that logged in.
        std::string authorization;
        const std::string& c = answer.challenge;
        if (c.size() >= 6 && equalNoCase(c.substr(0, 6), "Digest")) {
            const std::string realm = challengeParameter(c, "realm");
            const std::string nonce = challengeParameter(c, "nonce");
            const std::string qop = challengeParameter(c, "qop");
            const std::string ha1 = md5Hex(user + ":" + realm + ":" + password);
            const std::string ha2 = md5Hex("DESCRIBE:" + plainUrl);
            const bool auth = qop.find("auth") != std::string::npos;
            const std::string cnonce = "7669737472656c";
            const std::string response =
                auth ? md5Hex(ha1 + ":" + nonce + ":00000001:" + cnonce + ":auth:" + ha2)
                     : md5Hex(ha1 + ":" + nonce + ":" + ha2);
            authorization =
                "Authorization: Digest username=\"" + user + "\", realm=\"" + realm +
                "\", nonce=\"" + nonce + "\", uri=\"" + plainUrl + "\", response=\"" + response +
                "\"" + (auth ? ", qop=auth, nc=00000001, cnonce=\"" + cnonce + "\"" : "") + "\r\n";
        } else {
            const std::string pair = user + ":" + password;
            std::string encoded(AV_BASE64_SIZE(pair.size()), '\0');
            av_base64_encode(encoded.data(), static_cast<int>(encoded.size()),
                             reinterpret_cast<const std::uint8_t*>(pair.data()),
                             static_cast<int>(pair.size()));
            encoded.resize(std::strlen(encoded.c_str()));
            authorization = "Authorization: Basic " + encoded + "\r\n";
        }
        answer = DescribeAnswer();
        if (!describeOnce(u.hostPort, plainUrl, authorization, deadlineNs, m_stream.stopping(),
                          answer))
            return {};
    }
    if (answer.status < 300 || answer.status >= 400 || answer.location.empty())
        return {};
    return otherHostRefusal(answer.location);
}

std::string RtspCameraBackend::otherHostRefusal(const std::string& url) const
{
    const CameraUrl to = ParseCameraUrl(url);
    if (!to.valid) // a path on the same host
        return {};
    const CameraUrl from = ParseCameraUrl(m_strUrl);
    if (from.userinfo.empty() || canonicalHostPort(to.hostPort) == canonicalHostPort(from.hostPort))
        return {};
    return "the camera sends the stream on to another host (" + to.hostPort +
           "), and the camera's user name and password are not sent there";
}

// Connects, then decodes until the stream ends or is stopped. Returns why it ended.
std::string RtspCameraBackend::runStream()
{
    const std::string limitText = timeLimitText();
    m_nOpenDeadline = nowNs() + std::int64_t{limits().timeoutMs} * 1'000'000;
    if (std::string refusal = redirectRefusal(m_nOpenDeadline); !refusal.empty())
        return refusal;
    if (m_stream.stopping())
        return "stopped";

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return "out of memory";
    raw->interrupt_callback.callback = &RtspCameraBackend::interrupted;
    raw->interrupt_callback.opaque = this;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "rtsp_transport", "tcp", 0);
    // A socket that stays silent this long counts as a lost connection.
    av_dict_set(&options, "timeout",
                std::to_string(std::int64_t{limits().timeoutMs} * 1000).c_str(), 0);
    const int opened = avformat_open_input(&raw, m_strUrl.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) { // raw is freed
        if (m_stream.stopping())
            return "stopped";
        if (nowNs() > m_nOpenDeadline)
            return "no stream within " + limitText;
        return "the stream could not be opened (" + avError(opened) + ")";
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    m_nOpenDeadline = std::numeric_limits<std::int64_t>::max();
    // A redirect that only came now is not followed either.
    if (std::string refusal = otherHostRefusal(format->url ? format->url : ""); !refusal.empty())
        return refusal;

    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index == AVERROR_DECODER_NOT_FOUND)
        return "no decoder for the stream's video";
    if (index < 0 || !codec)
        return "the stream has no video";
    std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
    if (!decoder ||
        avcodec_parameters_to_context(decoder.get(), format->streams[index]->codecpar) < 0)
        return "out of memory";
    // The decoder refuses pictures above the limit before it allocates them.
    decoder->max_pixels = limits().maxPixels;
    // Frame threads would hold frames back: the newest picture is the one wanted.
    decoder->thread_type = FF_THREAD_SLICE;
    decoder->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (const int r = avcodec_open2(decoder.get(), codec, nullptr); r < 0)
        return "the " + codecName(codec->id) + " decoder could not start (" + avError(r) + ")";
    {
        std::lock_guard lock(m_stream.mutex());
        m_strCodec = codecName(codec->id);
    }

    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> picture(av_frame_alloc());
    if (!packet || !picture)
        return "out of memory";
    while (!m_stream.stopping()) {
        const int r = av_read_frame(format.get(), packet.get());
        if (r == AVERROR_EXIT || m_stream.stopping())
            return "stopped";
        if (r == AVERROR_EOF)
            return "the stream ended";
        if (r < 0)
            return "the stream broke off (" + avError(r) + ")";
        if (packet->stream_index == index) {
            // A damaged packet costs a frame or two, not the stream.
            avcodec_send_packet(decoder.get(), packet.get());
            while (avcodec_receive_frame(decoder.get(), picture.get()) == 0) {
                const std::string refusal =
                    PictureSizeRefusal(picture->width, picture->height, limits());
                if (!refusal.empty())
                    return refusal;
                std::lock_guard lock(m_stream.mutex());
                av_frame_unref(m_newest);
                av_frame_move_ref(m_newest, picture.get());
                m_stream.pictureKept();
            }
        }
        av_packet_unref(packet.get());
    }
    return "stopped";
}

bool RtspCameraBackend::grab(RgbFrame& frame, Clock::time_point deadline, std::string& cause)
{
    std::unique_lock lock(m_stream.mutex());
    if (!m_newest && !(m_newest = av_frame_alloc())) {
        cause = "out of memory";
        return false;
    }
    m_stream.ensureRunning(
        lock, [this] { av_frame_unref(m_newest); }, [this] { return runStream(); });
    switch (m_stream.waitForPicture(lock, deadline, cause)) {
    case CameraStreamReader::Outcome::Picture: {
        // A reference, not a copy: the reader goes on with its own frame.
        std::unique_ptr<AVFrame, FrameFree> picture(av_frame_clone(m_newest));
        setSourceFormat(m_strCodec);
        lock.unlock();
        if (!picture) {
            cause = "out of memory";
            return false;
        }
        return convert(picture.get(), frame, cause);
    }
    case CameraStreamReader::Outcome::Ended:
        return false;
    case CameraStreamReader::Outcome::TimedOut:
        break;
    }
    lock.unlock();
    // A stalled stream is dropped: the next grab connects afresh.
    stopReader();
    cause = "no picture of the stream within " + timeLimitText();
    return false;
}

bool RtspCameraBackend::convert(AVFrame* picture, RgbFrame& frame, std::string& cause)
{
    const int w = picture->width;
    const int h = picture->height;
    m_sws = sws_getCachedContext(m_sws, w, h, static_cast<AVPixelFormat>(picture->format), w, h,
                                 AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_sws) {
        cause = "the stream's pictures cannot be converted to RGB";
        return false;
    }
    frame.resize(w, h);
    std::uint8_t* planes[4] = {frame.rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {w * 3, 0, 0, 0};
    sws_scale(m_sws, picture->data, picture->linesize, 0, h, planes, strides);
    return true;
}

void RtspCameraBackend::stopReader()
{
    m_stream.stop(); // the interrupt callback sees it
    std::lock_guard lock(m_stream.mutex());
    av_frame_free(&m_newest);
}

void RtspCameraBackend::hangUp()
{
    stopReader();
}

} // namespace vistrel
