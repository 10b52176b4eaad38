#include "capture/HttpCameraBackend.h"

#include "capture/MultipartReader.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>

namespace vistrel {

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        auto l = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (l(text[i]) != l(prefix[i]))
            return false;
    }
    return true;
}

// "AB:CD:…" or "abcd…" (colons and blanks allowed) as the 32 bytes of a SHA-256 digest.
bool parseFingerprint(const std::string& text, unsigned char (&digest)[32])
{
    std::string hex;
    for (char c : text) {
        if (c == ':' || c == ' ' || c == '\t')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        hex += c;
    }
    if (hex.size() != 64)
        return false;
    for (int i = 0; i < 32; ++i)
        digest[i] = static_cast<unsigned char>(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
    return true;
}

std::string fingerprintText(const unsigned char* digest, unsigned length)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        if (i)
            out += ':';
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

// A camera's status text, kept printable and short: it ends up in messages.
std::string printable(std::string_view text, std::size_t max = 80)
{
    std::string out;
    for (char c : text.substr(0, max))
        out += (c >= 32 && c < 127) ? c : '?';
    return out;
}

// One HTTP request to a camera, run through a multi handle so that it can be bounded in time and
// woken from another thread. The body is taken as one picture, or, for a multipart answer, split
// into parts that go to a handler as they complete.
class CameraRequest {
  public:
    CameraRequest(const NetworkCameraSettings& camera, const NetworkCameraLimits& limits,
                  const std::string& timeLimit)
        : m_camera(camera), m_limits(limits), m_strTimeLimit(timeLimit)
    {
        initCurlOnce();
        m_easy = curl_easy_init();
        m_multi = curl_multi_init();
        m_errorBuffer[0] = '\0';
        if (!m_easy || !m_multi)
            return;
        curl_easy_setopt(m_easy, CURLOPT_URL, camera.url.c_str());
        curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(m_easy, CURLOPT_MAXREDIRS, 3L);
        curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.timeoutMs));
        curl_easy_setopt(m_easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(m_easy, CURLOPT_USERAGENT, "Vistrel");
        curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
        // HTTPS: the system's authorities and the camera's name; or exactly the pinned
        // certificate (checked in the handshake, before anything is sent); or, when checking is
        // off, any certificate.
        if (!camera.certificateFingerprint.empty()) {
            if (!parseFingerprint(camera.certificateFingerprint, m_pin))
                m_strFailure = "the camera's certificate fingerprint is no SHA-256 fingerprint "
                               "(64 hex digits, colons allowed)";
            curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, 0L);
            curl_easy_setopt(m_easy, CURLOPT_SSL_CTX_FUNCTION, &CameraRequest::onSslContext);
            curl_easy_setopt(m_easy, CURLOPT_SSL_CTX_DATA, this);
        } else if (!camera.verifyCertificate) {
            curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, 0L);
        }
        // Basic or digest, whichever the camera asks for; the credentials of the URL otherwise.
        curl_easy_setopt(m_easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST);
        if (!camera.username.empty()) {
            curl_easy_setopt(m_easy, CURLOPT_USERNAME, camera.username.c_str());
            curl_easy_setopt(m_easy, CURLOPT_PASSWORD, camera.password.c_str());
        }
        curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &CameraRequest::onHeader);
        curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CameraRequest::onWrite);
        curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
        curl_multi_add_handle(m_multi, m_easy);
    }

    ~CameraRequest()
    {
        if (m_multi && m_easy)
            curl_multi_remove_handle(m_multi, m_easy);
        if (m_easy)
            curl_easy_cleanup(m_easy);
        if (m_multi)
            curl_multi_cleanup(m_multi);
    }

    CameraRequest(const CameraRequest&) = delete;
    CameraRequest& operator=(const CameraRequest&) = delete;

    CURLM* multi() const { return m_multi; }
    bool isStream() const { return m_parts != nullptr; }
    std::string& body() { return m_body; }
    const std::string& contentType() const { return m_strContentType; }

    // Runs until the answer is in (a whole picture, or a part handler that has what it wants),
    // the request fails, the deadline (when given) passes or stop is set. cause says why not.
    bool run(const MultipartReader::PartHandler& onPart,
             std::optional<std::chrono::steady_clock::time_point> deadline,
             const std::atomic<bool>* stop, std::string& cause)
    {
        if (!m_easy || !m_multi) {
            cause = "no HTTP client could be made";
            return false;
        }
        if (!m_strFailure.empty()) {
            cause = m_strFailure;
            return false;
        }
        m_onPart = &onPart;
        std::optional<CURLcode> result;
        for (;;) {
            int running = 0;
            const CURLMcode mc = curl_multi_perform(m_multi, &running);
            if (mc != CURLM_OK) {
                cause = curl_multi_strerror(mc);
                return false;
            }
            int queued = 0;
            while (CURLMsg* msg = curl_multi_info_read(m_multi, &queued))
                if (msg->msg == CURLMSG_DONE)
                    result = msg->data.result;
            if (result)
                break;
            if (stop && *stop) {
                cause = "stopped";
                return false;
            }
            int waitMs = 1000;
            if (deadline) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                                      *deadline - std::chrono::steady_clock::now())
                                      .count();
                if (left <= 0) {
                    cause = timeoutCause();
                    return false;
                }
                waitMs = static_cast<int>(std::min<long long>(left, waitMs));
            }
            curl_multi_poll(m_multi, nullptr, 0, waitMs, nullptr);
        }
        if (m_bHaveWhatWanted)
            return true;
        if (!m_strFailure.empty()) {
            cause = m_strFailure;
            return false;
        }
        if (*result != CURLE_OK) {
            cause = m_strPinFailure.empty() ? curlCause(*result) : m_strPinFailure;
            return false;
        }
        long code = 0;
        curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &code);
        if (code < 200 || code >= 300) {
            cause = httpCause(code);
            return false;
        }
        if (m_parts) {
            cause = "the stream ended";
            return false;
        }
        return true;
    }

  private:
    static CURLcode onSslContext(CURL*, void* context, void* self)
    {
        SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(context),
                                         &CameraRequest::checkPinned, self);
        return CURLE_OK;
    }

    // In place of the chain's verification: the camera's own certificate must be the pinned one.
    static int checkPinned(X509_STORE_CTX* store, void* self)
    {
        auto* request = static_cast<CameraRequest*>(self);
        X509* cert = X509_STORE_CTX_get0_cert(store);
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        if (!cert || !X509_digest(cert, EVP_sha256(), digest, &length) || length != 32) {
            request->m_strPinFailure = "the camera's certificate could not be read";
        } else if (std::memcmp(digest, request->m_pin, 32) != 0) {
            request->m_strPinFailure =
                "the camera's certificate is not the pinned one (its SHA-256 fingerprint is " +
                fingerprintText(digest, length) + ")";
        } else {
            return 1;
        }
        X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_REJECTED);
        return 0;
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* self)
    {
        const std::string_view line(data, size * count);
        auto* request = static_cast<CameraRequest*>(self);
        // Each answer (a redirect, an authentication challenge, the final one) begins anew.
        if (startsWithNoCase(line, "HTTP/")) {
            const std::size_t space = line.find(' ');
            std::string_view status =
                space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
            while (!status.empty() && (status.back() == '\r' || status.back() == '\n'))
                status.remove_suffix(1);
            request->m_strStatus = printable(status);
        }
        return size * count;
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* self)
    {
        const std::size_t bytes = size * count;
        return static_cast<CameraRequest*>(self)->take(std::string_view(data, bytes)) ? bytes : 0;
    }

    // The answer's body as it comes; false ends the transfer.
    bool take(std::string_view bytes)
    {
        if (!m_bExamined) {
            m_bExamined = true;
            long code = 0;
            curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &code);
            if (code < 200 || code >= 300) {
                m_strFailure = httpCause(code);
                return false;
            }
            char* type = nullptr;
            curl_easy_getinfo(m_easy, CURLINFO_CONTENT_TYPE, &type);
            m_strContentType = type ? printable(type, 200) : std::string();
            if (startsWithNoCase(m_strContentType, "multipart/")) {
                const std::string boundary = MultipartBoundary(m_strContentType);
                if (boundary.empty()) {
                    m_strFailure = "the camera's stream names no part boundary";
                    return false;
                }
                m_parts = std::make_unique<MultipartReader>(boundary, m_limits.maxPictureBytes);
            } else {
                curl_off_t length = -1;
                curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
                if (length > static_cast<curl_off_t>(m_limits.maxPictureBytes)) {
                    m_strFailure = tooLarge();
                    return false;
                }
            }
        }
        if (m_parts) {
            if (m_parts->feed(bytes, *m_onPart))
                return true;
            if (m_parts->error().empty())
                m_bHaveWhatWanted = true;
            else
                m_strFailure = m_parts->error();
            return false;
        }
        if (m_body.size() + bytes.size() > m_limits.maxPictureBytes) {
            m_strFailure = tooLarge();
            m_body.clear();
            return false;
        }
        m_body.append(bytes);
        return true;
    }

    std::string tooLarge() const
    {
        return "the picture is larger than " + std::to_string(m_limits.maxPictureBytes) + " bytes";
    }

    bool hasCredentials() const
    {
        return !m_camera.username.empty() || !ParseCameraUrl(m_camera.url).userinfo.empty();
    }

    std::string httpCause(long code) const
    {
        const std::string status = m_strStatus.empty() ? std::to_string(code) : m_strStatus;
        if (code == 401)
            return hasCredentials()
                       ? "the camera refused the user name and password (HTTP " + status + ")"
                       : "the camera asks for a user name and password (HTTP " + status + ")";
        return "the camera answered HTTP " + status;
    }

    std::string curlCause(CURLcode result) const
    {
        if (result == CURLE_PARTIAL_FILE)
            return "the connection closed before the picture was complete";
        if (result == CURLE_GOT_NOTHING)
            return "the camera closed the connection without an answer";
        if (result == CURLE_OPERATION_TIMEDOUT)
            return "no connection within " + m_strTimeLimit;
        if (result == CURLE_PEER_FAILED_VERIFICATION)
            return (m_errorBuffer[0] ? printable(m_errorBuffer, 200)
                                     : std::string(curl_easy_strerror(result))) +
                   "; a camera with a certificate of its own needs its fingerprint pinned";
        // libcurl's own words name the host and port, never the credentials.
        return m_errorBuffer[0] ? printable(m_errorBuffer, 200) : curl_easy_strerror(result);
    }

    std::string timeoutCause() const
    {
        if (m_bExamined)
            return (m_parts ? "no complete picture of the stream within "
                            : "the picture was not complete within ") +
                   m_strTimeLimit;
        if (!m_strStatus.empty())
            return "the camera answered but sent no picture within " + m_strTimeLimit;
        curl_off_t connected = 0;
        curl_easy_getinfo(m_easy, CURLINFO_CONNECT_TIME_T, &connected);
        if (connected > 0)
            return "the camera accepted the connection but did not answer within " + m_strTimeLimit;
        return "no connection within " + m_strTimeLimit;
    }

    const NetworkCameraSettings& m_camera;
    const NetworkCameraLimits& m_limits;
    std::string m_strTimeLimit;
    CURL* m_easy = nullptr;
    CURLM* m_multi = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE];
    const MultipartReader::PartHandler* m_onPart = nullptr;
    std::string m_strStatus; // "200 OK", of the newest answer
    std::string m_strContentType;
    bool m_bExamined = false;
    bool m_bHaveWhatWanted = false;
    std::string m_strFailure;
    unsigned char m_pin[32] = {};
    std::string m_strPinFailure;
    std::unique_ptr<MultipartReader> m_parts;
    std::string m_body;
};

} // namespace

HttpCameraBackend::HttpCameraBackend(const NetworkCameraSettings& camera,
                                     const NetworkCameraLimits& limits)
    : NetworkCameraBackend(camera, limits, NetworkCameraKind::Http)
{
}

HttpCameraBackend::~HttpCameraBackend()
{
    stopReader();
}

bool HttpCameraBackend::decode(const std::string& bytes, Clock::time_point deadline,
                               RgbFrame& frame, std::string& cause)
{
    std::string format;
    if (!DecodeCameraPicture(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                             limits(), frame, format, cause, deadline))
        return false;
    setSourceFormat(m_answer == Answer::Stream ? "Motion-JPEG" : format);
    return true;
}

bool HttpCameraBackend::grab(RgbFrame& frame, Clock::time_point deadline, std::string& cause)
{
    if (m_answer == Answer::Stream)
        return grabFromStream(frame, deadline, cause);

    // One request. What the camera answers tells whether it is a snapshot or a stream camera.
    CameraRequest request(camera(), limits(), timeLimitText());
    std::string part;
    const MultipartReader::PartHandler firstPart = [&part](std::string_view body) {
        part.assign(body);
        return false;
    };
    if (!request.run(firstPart, deadline, nullptr, cause))
        return false;
    if (request.isStream()) {
        m_answer = Answer::Stream;
        return decode(part, deadline, frame, cause);
    }
    m_answer = Answer::Snapshot;
    if (!decode(request.body(), deadline, frame, cause)) {
        if (!request.contentType().empty() && !startsWithNoCase(request.contentType(), "image/"))
            cause += " (it sent " + request.contentType() + ")";
        return false;
    }
    return true;
}

bool HttpCameraBackend::grabFromStream(RgbFrame& frame, Clock::time_point deadline,
                                       std::string& cause)
{
    std::unique_lock lock(m_stream.mutex());
    m_stream.ensureRunning(
        lock,
        [this] {
            m_newest.clear();
            m_bSingleAnswer = false;
        },
        [this] { return readStream(); });
    switch (m_stream.waitForPicture(lock, deadline, cause)) {
    case CameraStreamReader::Outcome::Picture: {
        std::string bytes;
        bytes.swap(m_newest);
        const bool single = m_bSingleAnswer;
        lock.unlock();
        if (single)
            m_answer = Answer::Snapshot; // the camera now answers with single pictures
        return decode(bytes, deadline, frame, cause);
    }
    case CameraStreamReader::Outcome::Ended:
        return false;
    case CameraStreamReader::Outcome::TimedOut:
        break;
    }
    lock.unlock();
    // A stalled stream is dropped: the next grab connects afresh.
    stopReader();
    cause = "no complete picture of the stream within " + timeLimitText();
    return false;
}

// The reader thread: one request, its parts kept as they complete. Returns why it ended.
std::string HttpCameraBackend::readStream()
{
    CameraRequest request(camera(), limits(), timeLimitText());
    {
        std::lock_guard lock(m_stream.mutex());
        m_readerMulti = request.multi();
    }
    const MultipartReader::PartHandler keepNewest = [this](std::string_view body) {
        std::lock_guard lock(m_stream.mutex());
        m_newest.assign(body);
        m_stream.pictureKept();
        return !m_stream.stopping();
    };
    std::string cause;
    const bool ok = request.run(keepNewest, std::nullopt, &m_stream.stopping(), cause);

    std::lock_guard lock(m_stream.mutex());
    m_readerMulti = nullptr;
    if (ok && !request.isStream()) {
        m_newest.swap(request.body());
        m_bSingleAnswer = true;
        m_stream.pictureKept();
    }
    return ok ? std::string() : cause;
}

void HttpCameraBackend::stopReader()
{
    m_stream.stop([this] {
        if (m_readerMulti)
            curl_multi_wakeup(static_cast<CURLM*>(m_readerMulti));
    });
    std::lock_guard lock(m_stream.mutex());
    m_newest.clear();
    m_newest.shrink_to_fit();
}

void HttpCameraBackend::hangUp()
{
    stopReader();
}

} // namespace vistrel
