#include "capture/RtspCameraBackend.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <limits>

namespace vistrel {

namespace {

void initFfmpegOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // FFmpeg's own log would go to standard error, with addresses in it.
        av_log_set_level(AV_LOG_QUIET);
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

// Connects, then decodes until the stream ends or is stopped. Returns why it ended.
std::string RtspCameraBackend::runStream()
{
    const std::string limitText = timeLimitText();
    m_nOpenDeadline = nowNs() + std::int64_t{limits().timeoutMs} * 1'000'000;

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
