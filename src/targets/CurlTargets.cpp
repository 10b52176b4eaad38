// SFTP, WebDAV and S3 sessions over libcurl. One easy handle per session, so the connection (and
// for SFTP the logged-on SSH session) is kept from one step of a cycle to the next.
#include "targets/CurlTargets.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace vistrel {

namespace {

std::string Base64NoPadding(const unsigned char* data, std::size_t size)
{
    std::string out(4 * ((size + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
    out.resize(static_cast<std::size_t>(std::max(n, 0)));
    while (!out.empty() && out.back() == '=')
        out.pop_back();
    return out;
}

std::vector<unsigned char> Base64Decode(const std::string& text)
{
    std::vector<unsigned char> out(text.size() / 4 * 3 + 3);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0)
        return {};
    std::size_t size = static_cast<std::size_t>(n);
    // EVP_DecodeBlock counts the padding as zero bytes.
    for (auto it = text.rbegin(); it != text.rend() && *it == '=' && size > 0; ++it)
        --size;
    out.resize(size);
    return out;
}

std::string Sha256(const unsigned char* data, std::size_t size)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<char*>(digest), length);
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A hex fingerprint ("AB:CD:…", colons and blanks allowed) as lower-case hex digits only; empty
// when it holds anything else or is not 64 digits long.
std::string HexFingerprint(const std::string& text)
{
    std::string hex;
    for (char c : text) {
        if (c == ':' || c == ' ')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
        hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return hex.size() == 64 ? hex : std::string();
}

std::string ToHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

void Append(Slist& list, const std::string& line)
{
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown) {
        (void)list.release();
        list.reset(grown);
    }
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

size_t ReadFromFile(char* buffer, size_t size, size_t count, void* file)
{
    return std::fread(buffer, size, count, static_cast<std::FILE*>(file));
}

int SeekInFile(void* file, curl_off_t offset, int origin)
{
    return fseeko(static_cast<std::FILE*>(file), static_cast<off_t>(offset), origin) == 0
               ? CURL_SEEKFUNC_OK
               : CURL_SEEKFUNC_CANTSEEK;
}

size_t NoBody(char*, size_t, size_t, void*)
{
    return 0;
}

size_t KeepBody(char* data, size_t size, size_t count, void* out)
{
    auto* body = static_cast<std::string*>(out);
    if (body->size() < 65536)
        body->append(data, size * count);
    return size * count;
}

// Keeps the last status line ("HTTP/1.1 403 Forbidden") for messages.
size_t KeepStatusLine(char* data, size_t size, size_t count, void* out)
{
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0)
        *static_cast<std::string*>(out) = Trim(line);
    return size * count;
}

// The common part of the three sessions: the handle, its time limits, cancelling, and the
// message of the last step.
class CurlSession : public TargetSession {
  public:
    explicit CurlSession(const TargetSettings& settings) : m_s(settings)
    {
        curl_global_init(CURL_GLOBAL_DEFAULT); // counted: safe to call once per session
        m_curl = curl_easy_init();
    }
    ~CurlSession() override
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
        curl_global_cleanup();
    }
    std::string Message() const override { return m_message; }

  protected:
    // Clears the handle's options (its connection stays) and sets what every request has.
    void Prepare(const std::string& url)
    {
        curl_easy_reset(m_curl);
        m_errorBuffer[0] = '\0';
        m_body.clear();
        m_statusLine.clear();
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        const long timeout = std::max(1, m_s.timeoutSeconds);
        curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, timeout);
        // A transfer that stops moving for the time-out is given up.
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, timeout);
        curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
        curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &CurlSession::Progress);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &KeepBody);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_body);
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &KeepStatusLine);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &m_statusLine);
        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "sftp,http,https");
    }

    // Reads the local file for an upload; false with the message set when it cannot be read.
    bool AttachFile(const std::string& localPath)
    {
        m_file.reset(std::fopen(localPath.c_str(), "rb"));
        struct stat st {};
        if (!m_file || ::fstat(fileno(m_file.get()), &st) != 0) {
            m_message = "cannot read " + localPath + " (" + std::strerror(errno) + ")";
            m_file.reset();
            return false;
        }
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &ReadFromFile);
        curl_easy_setopt(m_curl, CURLOPT_READDATA, m_file.get());
        curl_easy_setopt(m_curl, CURLOPT_SEEKFUNCTION, &SeekInFile);
        curl_easy_setopt(m_curl, CURLOPT_SEEKDATA, m_file.get());
        curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
        return true;
    }

    // Runs the prepared request. On failure the message is libcurl's, or the session's own
    // reason when a check of its own refused the connection.
    CURLcode Perform()
    {
        m_ownReason.clear();
        const CURLcode code = curl_easy_perform(m_curl);
        m_file.reset();
        if (code == CURLE_OK)
            return code;
        if (!m_ownReason.empty())
            m_message = m_ownReason;
        else if (code == CURLE_ABORTED_BY_CALLBACK && m_bCancelled)
            m_message = "cancelled: the program is ending";
        else if (m_errorBuffer[0])
            m_message = Trim(m_errorBuffer);
        else
            m_message = curl_easy_strerror(code);
        return code;
    }

    long ResponseCode()
    {
        long code = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    std::string Escape(const std::string& text)
    {
        char* escaped = curl_easy_escape(m_curl, text.c_str(), static_cast<int>(text.size()));
        std::string out = escaped ? escaped : "";
        curl_free(escaped);
        return out;
    }

    static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto* session = static_cast<CurlSession*>(self);
        if (session->m_s.cancelled && session->m_s.cancelled()) {
            session->m_bCancelled = true;
            return 1;
        }
        return 0;
    }

    TargetSettings m_s;
    CURL* m_curl = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    std::string m_message;
    std::string m_ownReason; // set by a callback that refused the connection
    std::string m_body;
    std::string m_statusLine;
    bool m_bCancelled = false;
    std::unique_ptr<std::FILE, FileCloser> m_file;
};

std::string HostForUrl(const std::string& host)
{
    return host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
}

// ---------------------------------------------------------------------------------------------
// SFTP

class SftpSession : public CurlSession {
  public:
    using CurlSession::CurlSession;

    bool Open() override
    {
        if (Trim(m_s.server).empty()) {
            m_message = "no server is set";
            return false;
        }
        if (!m_s.hostKey.empty() && !ParsePin(m_s.hostKey, &m_pin)) {
            m_message = "the pinned host key " + m_s.hostKey +
                        " is not a fingerprint as ssh-keygen -lf prints it (SHA256:…)";
            return false;
        }
        // Logging on is a request for the folder's attributes: it also proves that it exists.
        PrepareSftp(FolderUrl());
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        return Perform() == CURLE_OK;
    }

    bool Store(const std::string& localPath, const std::string& name) override
    {
        PrepareSftp(FolderUrl() + Escape(name));
        return AttachFile(localPath) && Perform() == CURLE_OK;
    }

    bool Rename(const std::string& from, const std::string& to) override
    {
        // The protocol's rename does not replace an existing file, so the old one goes first.
        return Quote({"*rm " + Quoted(RemotePath(to)),
                      "rename " + Quoted(RemotePath(from)) + " " + Quoted(RemotePath(to))});
    }

    bool RenameTolerant(const std::string& from, const std::string& to) override
    {
        bool exists = false;
        if (!Exists(from, &exists))
            return false;
        return !exists || Rename(from, to);
    }

    bool DeleteFile(const std::string& name) override
    {
        if (Quote({"rm " + Quoted(RemotePath(name))}))
            return true;
        const std::string why = m_message;
        bool exists = true;
        if (Exists(name, &exists) && !exists)
            return true;
        m_message = why;
        return false;
    }

  private:
    static bool ParsePin(const std::string& text, std::string* pin)
    {
        std::string t = Trim(text);
        if (t.rfind("SHA256:", 0) != 0)
            return false;
        t = t.substr(7);
        while (!t.empty() && t.back() == '=')
            t.pop_back();
        if (t.empty() || Base64Decode(t + std::string((4 - t.size() % 4) % 4, '=')).size() != 32)
            return false;
        *pin = t;
        return true;
    }

    // The folder as a URL path: absolute when the directory starts with '/', otherwise in the
    // log-on folder.
    std::string FolderPath() const
    {
        std::string dir = m_s.directory;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        if (dir.empty())
            return "/~/";
        if (dir.front() == '/')
            return dir == "/" ? dir : dir + "/";
        return "/~/" + dir + "/";
    }

    std::string FolderUrl()
    {
        std::string path;
        for (char c : FolderPath()) // escaped piece by piece, keeping the separators
            path += c == '/' ? std::string("/") : Escape(std::string(1, c));
        return "sftp://" + HostForUrl(Trim(m_s.server)) + ":" + std::to_string(m_s.port) + path;
    }

    // A name as the server's commands take it: relative names count from the log-on folder.
    std::string RemotePath(const std::string& name) const
    {
        std::string dir = FolderPath();
        if (dir.rfind("/~/", 0) == 0)
            dir = dir.substr(3);
        return dir + name;
    }

    static std::string Quoted(const std::string& path)
    {
        std::string out = "\"";
        for (char c : path) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        return out + "\"";
    }

    void PrepareSftp(const std::string& url)
    {
        Prepare(url);
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_s.username.c_str());
        if (!m_s.keyFile.empty()) {
            curl_easy_setopt(m_curl, CURLOPT_SSH_AUTH_TYPES, long(CURLSSH_AUTH_PUBLICKEY));
            curl_easy_setopt(m_curl, CURLOPT_SSH_PRIVATE_KEYFILE, m_s.keyFile.c_str());
            curl_easy_setopt(m_curl, CURLOPT_SSH_PUBLIC_KEYFILE, ""); // derived from the key
            if (!m_s.keyPassphrase.empty())
                curl_easy_setopt(m_curl, CURLOPT_KEYPASSWD, m_s.keyPassphrase.c_str());
        } else {
            curl_easy_setopt(m_curl, CURLOPT_SSH_AUTH_TYPES,
                             long(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
            curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_s.password.c_str());
        }
        if (!m_pin.empty()) {
            curl_easy_setopt(m_curl, CURLOPT_SSH_HOSTKEYFUNCTION, &SftpSession::CheckPinned);
            curl_easy_setopt(m_curl, CURLOPT_SSH_HOSTKEYDATA, this);
        } else {
            curl_easy_setopt(m_curl, CURLOPT_SSH_KNOWNHOSTS, m_s.knownHosts.c_str());
            curl_easy_setopt(m_curl, CURLOPT_SSH_KEYFUNCTION, &SftpSession::CheckKnown);
            curl_easy_setopt(m_curl, CURLOPT_SSH_KEYDATA, this);
        }
    }

    static std::string Fingerprint(const char* key, std::size_t length)
    {
        const std::string digest = Sha256(reinterpret_cast<const unsigned char*>(key), length);
        return "SHA256:" + Base64NoPadding(reinterpret_cast<const unsigned char*>(digest.data()),
                                           digest.size());
    }

    static int CheckPinned(void* self, int, const char* key, size_t length)
    {
        auto* session = static_cast<SftpSession*>(self);
        const std::string seen = Fingerprint(key, length);
        if (seen == "SHA256:" + session->m_pin)
            return CURLKHMATCH_OK;
        session->m_ownReason = "the server's host key " + seen +
                               " is not the pinned one (SHA256:" + session->m_pin +
                               "); connection refused";
        return CURLKHMATCH_MISMATCH;
    }

    static int CheckKnown(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match,
                          void* self)
    {
        auto* session = static_cast<SftpSession*>(self);
        if (match == CURLKHMATCH_OK)
            return CURLKHSTAT_FINE;
        std::string raw;
        if (found->len == 0) {
            const std::vector<unsigned char> bytes = Base64Decode(found->key);
            raw.assign(bytes.begin(), bytes.end());
        } else {
            raw.assign(found->key, found->len);
        }
        const std::string seen = Fingerprint(raw.data(), raw.size());
        session->m_ownReason =
            match == CURLKHMATCH_MISMATCH
                ? "the server's host key " + seen + " differs from the one " +
                      session->m_s.knownHosts + " has for it; connection refused"
                : "the server's host key " + seen + " is unknown: it is not in " +
                      session->m_s.knownHosts +
                      "; add it there or pin it in SFTPHostKey; connection refused";
        return CURLKHSTAT_REJECT;
    }

    bool Quote(const std::vector<std::string>& commands)
    {
        PrepareSftp(FolderUrl());
        Slist list;
        for (const std::string& c : commands)
            Append(list, c);
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, list.get());
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        return Perform() == CURLE_OK;
    }

    // Whether name is there; false with the message set when that cannot be found out.
    bool Exists(const std::string& name, bool* exists)
    {
        PrepareSftp(FolderUrl() + Escape(name));
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        const CURLcode code = Perform();
        *exists = code == CURLE_OK;
        return code == CURLE_OK || code == CURLE_REMOTE_FILE_NOT_FOUND;
    }

    std::string m_pin; // base64 without padding
};

// ---------------------------------------------------------------------------------------------
// HTTP: what WebDAV and S3 share (TLS as for FTPS, status checks).

class HttpSession : public CurlSession {
  public:
    using CurlSession::CurlSession;

  protected:
    void PrepareHttp(const std::string& url)
    {
        Prepare(url);
        m_headers.reset();
        const std::string pin = HexFingerprint(m_s.certificateFingerprint);
        if (!pin.empty()) {
            // The certificate must be exactly the pinned one; authority and name do not count.
            curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 0L);
            curl_easy_setopt(m_curl, CURLOPT_SSL_CTX_FUNCTION, &HttpSession::PinContext);
            curl_easy_setopt(m_curl, CURLOPT_SSL_CTX_DATA, this);
        } else if (!m_s.verifyCertificate) {
            curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 0L);
        }
    }

    void Header(const std::string& line) { Append(m_headers, line); }

    // Runs the request; true for a 2xx answer, and for 404 when missingIsFine (*missing then
    // says so). Otherwise the message is the server's status line and reason.
    bool Request(bool missingIsFine = false, bool* missing = nullptr)
    {
        if (missing)
            *missing = false;
        if (m_headers)
            curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers.get());
        if (Perform() != CURLE_OK)
            return false;
        const long code = ResponseCode();
        if (code >= 200 && code < 300 && !ErrorInBody())
            return true;
        if (code == 404 && missingIsFine) {
            if (missing)
                *missing = true;
            return true;
        }
        m_message = m_statusLine.empty() ? "HTTP status " + std::to_string(code) : m_statusLine;
        if (const std::string reason = ReasonInBody(); !reason.empty())
            m_message += " (" + reason + ")";
        return false;
    }

    // An S3 copy can fail after its 200 status: the body then holds an <Error>.
    virtual bool ErrorInBody() const { return false; }
    // The server's own words from an error body, when it has any.
    virtual std::string ReasonInBody() const { return {}; }

    // The text of an XML element, named by its tag ("<Code>"); empty when it is not there.
    static std::string Element(const std::string& xml, const std::string& tag)
    {
        const auto start = xml.find(tag);
        if (start == std::string::npos)
            return {};
        const auto from = start + tag.size();
        const auto end = xml.find("</" + tag.substr(1), from);
        return end == std::string::npos ? std::string() : xml.substr(from, end - from);
    }

  private:
    static int PinnedIndex()
    {
        static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
        return index;
    }

    static CURLcode PinContext(CURL*, void* sslContext, void* self)
    {
        auto* ctx = static_cast<SSL_CTX*>(sslContext);
        SSL_CTX_set_ex_data(ctx, PinnedIndex(), self);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &HttpSession::VerifyPinned);
        return CURLE_OK;
    }

    static int VerifyPinned(int, X509_STORE_CTX* store)
    {
        if (X509_STORE_CTX_get_error_depth(store) != 0)
            return 1; // only the server's own certificate counts
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* self =
            static_cast<HttpSession*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), PinnedIndex()));
        X509* cert = X509_STORE_CTX_get_current_cert(store);
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!self || !cert || !X509_digest(cert, EVP_sha256(), digest, &length))
            return 0;
        const std::string seen = ToHex(std::string(reinterpret_cast<char*>(digest), length));
        if (seen == HexFingerprint(self->m_s.certificateFingerprint))
            return 1;
        std::string shown;
        for (std::size_t i = 0; i < seen.size(); i += 2)
            shown += (i ? ":" : "") + seen.substr(i, 2);
        std::transform(shown.begin(), shown.end(), shown.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        self->m_ownReason =
            "the server's certificate " + shown + " is not the pinned one; connection refused";
        return 0;
    }

    Slist m_headers;
};

// ---------------------------------------------------------------------------------------------
// WebDAV

class WebDavSession : public HttpSession {
  public:
    using HttpSession::HttpSession;

    bool Open() override
    {
        m_folder = Trim(m_s.url);
        if (m_folder.rfind("http://", 0) != 0 && m_folder.rfind("https://", 0) != 0) {
            m_message =
                "the WebDAV address \"" + m_folder + "\" must start with http:// or https://";
            return false;
        }
        if (!m_s.certificateFingerprint.empty() &&
            HexFingerprint(m_s.certificateFingerprint).empty()) {
            m_message = "the pinned certificate fingerprint is not 32 bytes in hex";
            return false;
        }
        if (m_folder.back() != '/')
            m_folder += '/';
        return true;
    }

    bool Store(const std::string& localPath, const std::string& name) override
    {
        PrepareDav(m_folder + Escape(name));
        return AttachFile(localPath) && Request();
    }

    bool Rename(const std::string& from, const std::string& to) override
    {
        return Move(from, to, false);
    }
    bool RenameTolerant(const std::string& from, const std::string& to) override
    {
        return Move(from, to, true);
    }

    bool DeleteFile(const std::string& name) override
    {
        PrepareDav(m_folder + Escape(name));
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "DELETE");
        return Request(true);
    }

  private:
    void PrepareDav(const std::string& url)
    {
        PrepareHttp(url);
        if (!m_s.username.empty()) {
            curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_s.username.c_str());
            curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_s.password.c_str());
            curl_easy_setopt(m_curl, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
        }
    }

    bool Move(const std::string& from, const std::string& to, bool missingIsFine)
    {
        PrepareDav(m_folder + Escape(from));
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "MOVE");
        Header("Destination: " + m_folder + Escape(to));
        Header("Overwrite: T");
        if (Request(missingIsFine))
            return true;
        if (!missingIsFine)
            return false;
        // Some servers refuse to move what is not there with 403, not 404: ask whether it is.
        const std::string why = m_message;
        PrepareDav(m_folder + Escape(from));
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        bool missing = false;
        if (Request(true, &missing) && missing)
            return true;
        m_message = why;
        return false;
    }

    std::string m_folder; // with its trailing '/'
};

// ---------------------------------------------------------------------------------------------
// S3

class S3Session : public HttpSession {
  public:
    using HttpSession::HttpSession;

    bool Open() override
    {
        std::string endpoint = Trim(m_s.endpoint);
        while (!endpoint.empty() && endpoint.back() == '/')
            endpoint.pop_back();
        const bool http = endpoint.rfind("http://", 0) == 0;
        if (!http && endpoint.rfind("https://", 0) != 0) {
            m_message = "the S3 endpoint \"" + endpoint + "\" must start with http:// or https://";
            return false;
        }
        if (Trim(m_s.bucket).empty() || Trim(m_s.region).empty() || m_s.accessKey.empty() ||
            m_s.secret.empty()) {
            m_message = "S3 needs a bucket, a region, an access key and its secret";
            return false;
        }
        const std::string bucket = Trim(m_s.bucket);
        const std::string host = endpoint.substr(http ? 7 : 8);
        // An endpoint whose host starts with the bucket's name addresses it by host name
        // (virtual-host style); any other has the bucket as the first part of the path.
        m_base = host.rfind(bucket + ".", 0) == 0 ? endpoint + "/" : endpoint + "/" + bucket + "/";
        m_bucket = bucket;
        std::string prefix = m_s.directory;
        while (!prefix.empty() && prefix.front() == '/')
            prefix.erase(0, 1);
        while (!prefix.empty() && prefix.back() == '/')
            prefix.pop_back();
        m_prefix = prefix.empty() ? std::string() : prefix + "/";
        return true;
    }

    bool Store(const std::string& localPath, const std::string& name) override
    {
        PrepareS3(Key(name));
        Header("Content-Type: " + ContentType(name));
        if (!Trim(m_s.cacheControl).empty())
            Header("Cache-Control: " + Trim(m_s.cacheControl));
        if (!Trim(m_s.storageClass).empty())
            Header("x-amz-storage-class: " + Trim(m_s.storageClass));
        return AttachFile(localPath) && Request();
    }

    // A copy on the server, then the source deleted.
    bool Rename(const std::string& from, const std::string& to) override
    {
        bool missing = false;
        return Copy(from, to, false, &missing) && DeleteFile(from);
    }

    // The archive's step: a copy on the server. The source stays: it is replaced by the next
    // step (or by the new picture), so the published picture never goes missing in between.
    bool RenameTolerant(const std::string& from, const std::string& to) override
    {
        bool missing = false;
        return Copy(from, to, true, &missing);
    }

    bool DeleteFile(const std::string& name) override
    {
        PrepareS3(Key(name));
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "DELETE");
        return Request(true);
    }

  private:
    bool ErrorInBody() const override { return m_body.find("<Error>") != std::string::npos; }
    std::string ReasonInBody() const override
    {
        const std::string code = Element(m_body, "<Code>");
        const std::string message = Element(m_body, "<Message>");
        if (code.empty())
            return message;
        return message.empty() ? code : code + ": " + message;
    }

    std::string Key(const std::string& name) const { return m_prefix + name; }

    // The key in a URL: each part escaped, the separators kept.
    std::string KeyPath(const std::string& key)
    {
        std::string out;
        std::size_t start = 0;
        while (true) {
            const auto slash = key.find('/', start);
            out += Escape(key.substr(start, slash - start));
            if (slash == std::string::npos)
                break;
            out += '/';
            start = slash + 1;
        }
        return out;
    }

    static std::string ContentType(const std::string& name)
    {
        std::string ext =
            name.substr(name.rfind('.') == std::string::npos ? name.size() : name.rfind('.'));
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (ext == ".jpg" || ext == ".jpeg")
            return "image/jpeg";
        if (ext == ".png")
            return "image/png";
        if (ext == ".bmp")
            return "image/bmp";
        return "application/octet-stream";
    }

    void PrepareS3(const std::string& key)
    {
        PrepareHttp(m_base + KeyPath(key));
        const std::string sigv4 = "aws:amz:" + Trim(m_s.region) + ":s3";
        curl_easy_setopt(m_curl, CURLOPT_AWS_SIGV4, sigv4.c_str());
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_s.accessKey.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_s.secret.c_str());
        // The body is streamed, so it is not part of the signature.
        Header("x-amz-content-sha256: UNSIGNED-PAYLOAD");
    }

    bool Copy(const std::string& from, const std::string& to, bool missingIsFine, bool* missing)
    {
        PrepareS3(Key(to));
        // A PUT without a body (Content-Length: 0).
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &NoBody);
        curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, curl_off_t{0});
        Header("x-amz-copy-source: /" + m_bucket + "/" + KeyPath(Key(from)));
        if (!Trim(m_s.cacheControl).empty()) {
            Header("x-amz-metadata-directive: REPLACE");
            Header("Cache-Control: " + Trim(m_s.cacheControl));
            Header("Content-Type: " + ContentType(to));
        }
        if (!Trim(m_s.storageClass).empty())
            Header("x-amz-storage-class: " + Trim(m_s.storageClass));
        return Request(missingIsFine, missing);
    }

    std::string m_base; // the bucket's URL, with its trailing '/'
    std::string m_bucket;
    std::string m_prefix; // FTPDirectory, with a trailing '/' when set
};

} // namespace

TargetSession* MakeCurlTargetSession(const TargetSettings& settings)
{
    switch (settings.kind) {
    case TargetKind::Sftp:
        return new SftpSession(settings);
    case TargetKind::WebDav:
        return new WebDavSession(settings);
    case TargetKind::S3:
        return new S3Session(settings);
    case TargetKind::Ftp:
        break;
    }
    return nullptr;
}

} // namespace vistrel
