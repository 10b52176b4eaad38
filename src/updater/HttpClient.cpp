#include "updater/HttpClient.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

constexpr std::size_t kMaxErrorText = 127;
static_assert(CHttpClient::kTooLarge == CURLE_FILESIZE_EXCEEDED);
constexpr const char* kUserAgent = "Tessel-Software-Updater/1.0.3";

CURL* Easy(void* handle)
{
    return static_cast<CURL*>(handle);
}

bool GlobalInit()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

// A host name as it may stand in an address: letters, digits, '.', '-' and '_'. Anything else
// (user information, a query, blanks, control bytes) would make libcurl read the address
// differently from the way the updater split it.
bool IsPlainHost(const std::string& host)
{
    if (host.empty())
        return false;
    for (unsigned char c : host) {
        if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_'))
            return false;
    }
    return true;
}

// The resource path as it goes on the request line: blanks, control bytes, bytes above 0x7e and
// '#' are percent-encoded so that nothing can end the line or be cut off as a fragment.
std::string RequestPath(const std::string& resource)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string path;
    if (resource.empty() || resource[0] != '/')
        path += '/';
    for (unsigned char c : resource) {
        if (c <= 0x20 || c >= 0x7f || c == '#') {
            path += '%';
            path += kHex[c >> 4];
            path += kHex[c & 15];
        } else {
            path += static_cast<char>(c);
        }
    }
    return path;
}

std::string Truncated(std::string text)
{
    if (text.size() > kMaxErrorText)
        text.resize(kMaxErrorText);
    return text;
}

} // namespace

// Where a download's body goes, and how much of it may come.
struct DownloadSink {
    std::FILE* file = nullptr;
    std::int64_t limit = 0; // 0: no limit
    std::int64_t written = 0;
    bool tooLarge = false;
};

struct HttpClientCallbacks {
    static int TransferInfo(void* self, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t)
    {
        return static_cast<CHttpClient*>(self)->OnTransferInfo(total, now);
    }

    static std::size_t Write(char* data, std::size_t size, std::size_t count, void* sink)
    {
        auto* s = static_cast<DownloadSink*>(sink);
        const std::size_t bytes = size * count;
        s->written += static_cast<std::int64_t>(bytes);
        if (s->limit > 0 && s->written > s->limit) {
            s->tooLarge = true;
            return 0; // a short count ends the transfer
        }
        return std::fwrite(data, 1, bytes, s->file);
    }
};

CHttpClient::CHttpClient()
{
    if (GlobalInit())
        m_pCurl = curl_easy_init();
}

CHttpClient::~CHttpClient()
{
    if (m_pCurl)
        curl_easy_cleanup(Easy(m_pCurl));
}

void CHttpClient::SetError(int nCode, const std::string& text)
{
    m_nLastError = nCode;
    m_strLastError =
        Truncated(text.empty() ? curl_easy_strerror(static_cast<CURLcode>(nCode)) : text);
}

void CHttpClient::GetErrorText(int nCode, std::string& text) const
{
    if (nCode == m_nLastError && !m_strLastError.empty())
        text = m_strLastError;
    else
        text = Truncated(curl_easy_strerror(static_cast<CURLcode>(nCode)));
}

// Options every transfer shares: plain HTTP only, no redirects, no signals (the transfer may run
// on a worker thread), our progress function so that a transfer can be abandoned.
void CHttpClient::PrepareTransfer()
{
    CURL* curl = Easy(m_pCurl);
    curl_easy_reset(curl);
    m_szCurlError[0] = '\0';
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, m_szCurlError);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, m_bSecure ? "https" : "http");
    if (m_bSecure && !m_strCaFile.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, m_strCaFile.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_nTimeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &HttpClientCallbacks::TransferInfo);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
}

bool CHttpClient::Connect(const std::string& host, std::uint16_t port, int nTimeoutSeconds,
                          int nAttempts, int nBufferSize)
{
    m_nConnection = -1;
    if (!m_pCurl) {
        SetError(CURLE_FAILED_INIT);
        return false;
    }
    if (!IsPlainHost(host) || port == 0) {
        SetError(CURLE_URL_MALFORMAT);
        return false;
    }
    m_nTimeoutSeconds = nTimeoutSeconds > 0 ? nTimeoutSeconds : 30;
    const std::string url =
        (m_bSecure ? "https://" : "http://") + host + ":" + std::to_string(port) + "/";
    CURLcode rc = CURLE_OK;
    for (int attempt = 0; attempt < (nAttempts > 0 ? nAttempts : 1); ++attempt) {
        PrepareTransfer();
        curl_easy_setopt(Easy(m_pCurl), CURLOPT_URL, url.c_str());
        curl_easy_setopt(Easy(m_pCurl), CURLOPT_CONNECT_ONLY, 1L);
        rc = curl_easy_perform(Easy(m_pCurl));
        if (rc == CURLE_OK || m_bAbandoned)
            break;
    }
    if (rc != CURLE_OK) {
        SetError(rc, m_szCurlError);
        return false;
    }
    m_strHost = host;
    m_nPort = port;
    m_nBufferSize = nBufferSize;
    m_nConnection = ++m_nConnections;
    return true;
}

int CHttpClient::SetCallback(int nEvent, Callback callback, void* pUserValue)
{
    m_nEvent = nEvent;
    m_pCallback = callback;
    m_pUserValue = pUserValue;
    return 0;
}

std::int64_t CHttpClient::GetProgress(std::int64_t* pTotal) const
{
    if (pTotal)
        *pTotal = m_nTotal;
    return m_nCopied;
}

int CHttpClient::OnTransferInfo(std::int64_t total, std::int64_t now)
{
    if (m_bAbandoned)
        return 1;
    if (!m_bDownloading)
        return 0;
    m_nTotal = total > 0 ? total : 0;
    if (now != m_nCopied) {
        m_nCopied = now;
        if (m_pCallback)
            m_pCallback(m_nEvent, m_pUserValue);
    }
    return 0;
}

int CHttpClient::Download(const std::string& localPath, const std::string& resourcePath,
                          std::int64_t nMaxBytes)
{
    if (!m_pCurl) {
        SetError(CURLE_FAILED_INIT);
        return -1;
    }
    if (m_nConnection < 0) {
        SetError(CURLE_COULDNT_CONNECT, "Not connected");
        return -1;
    }
    if (m_bAbandoned) {
        SetError(CURLE_ABORTED_BY_CALLBACK);
        return -1;
    }

    // The temporary file lives beside the target so that the rename cannot cross file systems.
    const std::size_t slash = localPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : localPath.substr(0, slash);
    const std::string name = slash == std::string::npos ? localPath : localPath.substr(slash + 1);
    std::string partial = dir + "/." + name + ".part-XXXXXX";
    const int fd = ::mkostemp(partial.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(CURLE_WRITE_ERROR, "Unable to create " + localPath + ": " + std::strerror(errno));
        return -1;
    }
    ::fchmod(fd, 0644);
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        ::unlink(partial.c_str());
        SetError(CURLE_WRITE_ERROR, "Unable to create " + localPath + ": " + std::strerror(errno));
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(m_partialMutex);
        m_strPartialPath = partial;
    }

    const std::string url = (m_bSecure ? "https://" : "http://") + m_strHost + ":" +
                            std::to_string(m_nPort) + RequestPath(resourcePath);
    CURL* curl = Easy(m_pCurl);
    PrepareTransfer();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    DownloadSink sink{file, nMaxBytes > 0 ? nMaxBytes : 0};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpClientCallbacks::Write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    // An announced size over the limit is refused before any of the body is read; a body without
    // an announced size is cut off by the write function.
    if (sink.limit > 0)
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink.limit));
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    if (m_nBufferSize > 0)
        curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(m_nBufferSize));
    // A server that stops sending ends the transfer after the time-out rather than hanging it.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_nTimeoutSeconds));

    m_nCopied = 0;
    m_nTotal = 0;
    m_bDownloading = true;
    CURLcode rc = curl_easy_perform(curl);
    m_bDownloading = false;
    std::string text = m_szCurlError;
    if (sink.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
        rc = CURLE_FILESIZE_EXCEEDED;
        text = "Refused: the file is larger than " + std::to_string(sink.limit) + " bytes";
    }

    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (rc == CURLE_OK && (status < 200 || status > 299)) {
        rc = CURLE_HTTP_RETURNED_ERROR;
        text = "The requested URL returned error: " + std::to_string(status);
    }
    if (std::fclose(file) != 0 && rc == CURLE_OK) {
        rc = CURLE_WRITE_ERROR;
        text = "Unable to write " + localPath + ": " + std::strerror(errno);
    }

    std::lock_guard<std::mutex> lock(m_partialMutex);
    if (rc == CURLE_OK && m_bAbandoned)
        rc = CURLE_ABORTED_BY_CALLBACK;
    if (rc == CURLE_OK && ::rename(partial.c_str(), localPath.c_str()) != 0) {
        rc = CURLE_WRITE_ERROR;
        text = "Unable to create " + localPath + ": " + std::strerror(errno);
    }
    if (rc != CURLE_OK)
        ::unlink(partial.c_str());
    m_strPartialPath.clear();
    if (rc != CURLE_OK) {
        SetError(rc, text);
        return -1;
    }
    return 0;
}

void CHttpClient::AbandonDownload()
{
    m_bAbandoned = true;
    std::lock_guard<std::mutex> lock(m_partialMutex);
    if (!m_strPartialPath.empty())
        ::unlink(m_strPartialPath.c_str());
}

} // namespace vistrel
