#include "ftp/TlsConnection.h"

#include "ftp/SocketCalls.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

namespace vistrel {

namespace {

// The socket under a TLS connection, reached through socketCalls() like every other byte of the
// FTP client: without blocking (CTimedSocket waits, bounded) and without SIGPIPE.
int socketOf(BIO* bio)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int bioWrite(BIO* bio, const char* data, int length)
{
    BIO_clear_retry_flags(bio);
    for (;;) {
        const ssize_t n = socketCalls().send(socketOf(bio), data, static_cast<size_t>(length),
                                             MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_write(bio);
        return -1;
    }
}

int bioRead(BIO* bio, char* buffer, int size)
{
    BIO_clear_retry_flags(bio);
    for (;;) {
        const ssize_t n =
            socketCalls().recv(socketOf(bio), buffer, static_cast<size_t>(size), MSG_DONTWAIT);
        if (n >= 0)
            return static_cast<int>(n); // 0: the end of the stream
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_read(bio);
        return -1;
    }
}

long bioCtrl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0; // nothing is buffered here
}

int bioCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* socketMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "timed socket");
        if (m) {
            BIO_meth_set_write(m, bioWrite);
            BIO_meth_set_read(m, bioRead);
            BIO_meth_set_ctrl(m, bioCtrl);
            BIO_meth_set_create(m, bioCreate);
        }
        return m;
    }();
    return method;
}

// The reason of the oldest error OpenSSL queued, or fallback.
std::string openSslReason(const char* fallback)
{
    const unsigned long err = ERR_peek_error();
    if (err == 0)
        return fallback;
    if (const char* reason = ERR_reason_error_string(err))
        return reason;
    char text[256];
    ERR_error_string_n(err, text, sizeof text);
    return text;
}

bool digestOf(const X509* cert, Sha256Digest& digest)
{
    unsigned int length = 0;
    return cert && X509_digest(cert, EVP_sha256(), digest.data(), &length) == 1 &&
           length == digest.size();
}

std::string summaryOf(const X509* cert)
{
    Sha256Digest digest{};
    if (!digestOf(cert, digest))
        return {};
    std::string out;
    char cn[256];
    if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn) > 0)
        out = std::string("CN=") + cn + ", ";
    return out + "SHA-256 " + FingerprintText(digest);
}

} // namespace

bool IsAddressLiteral(const std::string& text)
{
    unsigned char addr[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, text.c_str(), addr) == 1 ||
           ::inet_pton(AF_INET6, text.c_str(), addr) == 1;
}

CTlsContext::CTlsContext() = default;

CTlsContext::~CTlsContext()
{
    for (SSL_SESSION* session : m_sessions)
        SSL_SESSION_free(session);
    if (m_pLastUsed)
        SSL_SESSION_free(m_pLastUsed);
    if (m_pCtx)
        SSL_CTX_free(m_pCtx);
}

bool CTlsContext::Init(const std::string& host, bool verify, const std::optional<Sha256Digest>& pin,
                       std::string* error)
{
    m_strHost = host;
    m_bVerify = verify;
    m_pin = pin;
    ERR_clear_error();
    m_pCtx = SSL_CTX_new(TLS_client_method());
    if (!m_pCtx || !socketMethod()) {
        *error = "TLS error: " + openSslReason("cannot set up TLS");
        return false;
    }
    SSL_CTX_set_min_proto_version(m_pCtx, TLS1_2_VERSION);
    // Writes return after each record that went out, and may resume from another address: the
    // upload loop hands over large buffers and waits for send space in between.
    SSL_CTX_set_mode(m_pCtx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_app_data(m_pCtx, this);
    // Sessions are kept here (the control connection's, for the data connections), not in a cache.
    SSL_CTX_set_session_cache_mode(m_pCtx,
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(m_pCtx, NewSession);
    const bool chain = verify && !pin;
    if (chain && SSL_CTX_set_default_verify_paths(m_pCtx) != 1) {
        *error = "TLS error: " + openSslReason("cannot read the system's certificates");
        return false;
    }
    SSL_CTX_set_verify(m_pCtx, chain ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, CTlsConnection::Verify);
    return true;
}

int CTlsContext::NewSession(SSL* ssl, SSL_SESSION* session)
{
    // Every connection of the context descends from the control connection's session: its own
    // tickets, or those a data connection got by resuming it.
    auto* self = static_cast<CTlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (!self)
        return 0;
    if (self->m_sessions.size() == kMaxSessions) {
        SSL_SESSION_free(self->m_sessions.front());
        self->m_sessions.pop_front();
    }
    self->m_sessions.push_back(session);
    return 1; // kept
}

SSL_SESSION* CTlsContext::NextSession()
{
    // Each ticket once, oldest first; when none is new, the last one again (servers whose
    // tickets last, and TLS 1.2 sessions, resume it as often as needed).
    while (!m_sessions.empty()) {
        if (m_pLastUsed)
            SSL_SESSION_free(m_pLastUsed);
        m_pLastUsed = m_sessions.front();
        m_sessions.pop_front();
        if (SSL_SESSION_is_resumable(m_pLastUsed) == 1)
            return m_pLastUsed;
    }
    return m_pLastUsed;
}

CTlsConnection::CTlsConnection(CTlsContext& context, int fd, bool control)
    : m_context(context), m_fd(fd), m_bControl(control)
{
    ERR_clear_error();
    m_pSsl = context.m_pCtx ? SSL_new(context.m_pCtx) : nullptr;
    BIO* bio = m_pSsl ? BIO_new(socketMethod()) : nullptr;
    if (!bio) {
        m_strError = "TLS error: " + openSslReason("cannot set up TLS");
        return;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    SSL_set_bio(m_pSsl, bio, bio);
    SSL_set_app_data(m_pSsl, this);
    SSL_set_connect_state(m_pSsl);
    const std::string& host = context.m_strHost;
    const bool literal = IsAddressLiteral(host);
    if (!literal && !host.empty())
        SSL_set_tlsext_host_name(m_pSsl, host.c_str()); // servers with several names need it
    if (context.m_bVerify && !context.m_pin) {
        X509_VERIFY_PARAM* param = SSL_get0_param(m_pSsl);
        if (literal) {
            X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
        } else {
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
        }
    }
    if (!control) {
        if (SSL_SESSION* session = context.NextSession())
            SSL_set_session(m_pSsl, session);
    }
}

CTlsConnection::~CTlsConnection()
{
    if (m_pSsl)
        SSL_free(m_pSsl); // frees the BIO; the socket stays with its owner
}

int CTlsConnection::Verify(int ok, X509_STORE_CTX* store)
{
    SSL* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* self = ssl ? static_cast<CTlsConnection*>(SSL_get_app_data(ssl)) : nullptr;
    if (self && self->m_strCertificate.empty())
        self->m_strCertificate = summaryOf(X509_STORE_CTX_get0_cert(store));
    return ok;
}

CTlsConnection::Io CTlsConnection::Fail(int result, const char* what)
{
    const int e = SSL_get_error(m_pSsl, result);
    if (e == SSL_ERROR_WANT_READ)
        return Io::WantRead;
    if (e == SSL_ERROR_WANT_WRITE)
        return Io::WantWrite;
    if (e == SSL_ERROR_ZERO_RETURN) {
        m_strError = std::string(what) + ": the server closed the connection";
        return Io::Closed;
    }
    const long verify = SSL_get_verify_result(m_pSsl);
    if (e == SSL_ERROR_SSL && verify != X509_V_OK &&
        ERR_GET_REASON(ERR_peek_error()) == SSL_R_CERTIFICATE_VERIFY_FAILED) {
        m_strError = std::string("Certificate error: ") + X509_verify_cert_error_string(verify);
        return Io::Failed;
    }
    if (e == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
        const int err = errno;
        if (err == 0) {
            m_strError = std::string(what) + ": the server closed the connection";
            return Io::Closed;
        }
        m_strError = std::string(what) + ": " + std::strerror(err);
        return Io::Failed;
    }
    m_strError = std::string(what) + ": " + openSslReason("unknown error");
    return Io::Failed;
}

CTlsConnection::Io CTlsConnection::Handshake()
{
    if (!m_pSsl)
        return Io::Failed;
    ERR_clear_error();
    errno = 0;
    const int r = SSL_connect(m_pSsl);
    if (r != 1) {
        const Io io = Fail(r, "TLS handshake failed");
        return io == Io::Closed ? Io::Failed : io;
    }
    if (const std::optional<Sha256Digest>& pin = m_context.m_pin) {
        Sha256Digest digest{};
        if (!digestOf(SSL_get0_peer_certificate(m_pSsl), digest)) {
            m_strError = "Certificate error: the server sent no certificate";
            return Io::Failed;
        }
        if (digest != *pin) {
            m_strError = "Certificate error: the fingerprint does not match (the server's "
                         "certificate has " +
                         FingerprintText(digest) + ")";
            return Io::Failed;
        }
    }
    m_bReady = true;
    return Io::Done;
}

CTlsConnection::Io CTlsConnection::Read(void* buffer, std::size_t size, std::size_t& n)
{
    n = 0;
    if (!m_bReady)
        return Io::Failed; // OpenSSL would go on with an unfinished or refused handshake
    ERR_clear_error();
    errno = 0;
    const int r = SSL_read_ex(m_pSsl, buffer, size, &n);
    return r == 1 ? Io::Done : Fail(r, "TLS error");
}

CTlsConnection::Io CTlsConnection::Write(const void* data, std::size_t size, std::size_t& n)
{
    n = 0;
    if (!m_bReady)
        return Io::Failed;
    ERR_clear_error();
    errno = 0;
    const int r = SSL_write_ex(m_pSsl, data, size, &n);
    return r == 1 ? Io::Done : Fail(r, "TLS error");
}

CTlsConnection::Io CTlsConnection::Shutdown()
{
    if (!m_bReady)
        return Io::Done; // nothing to close properly
    if (!m_bCloseSent) {
        ERR_clear_error();
        errno = 0;
        const int r = SSL_shutdown(m_pSsl);
        if (r == 1)
            return Io::Done;
        if (r < 0) {
            const Io io = Fail(r, "TLS shutdown failed");
            // Not writable yet: try again. Anything else (no handshake, a broken connection):
            // there is nothing to close properly.
            return io == Io::WantWrite || io == Io::WantRead ? io : Io::Done;
        }
        m_bCloseSent = true;
        // The end of the stream too, for a server that waits for it rather than for TLS's own.
        ::shutdown(m_fd, SHUT_WR);
    }
    char scratch[4096];
    for (;;) {
        std::size_t n = 0;
        ERR_clear_error();
        errno = 0;
        const int r = SSL_read_ex(m_pSsl, scratch, sizeof scratch, &n);
        if (r == 1)
            continue; // nothing is expected after our close_notify; dropped
        const Io io = Fail(r, "TLS shutdown failed");
        return io == Io::WantRead || io == Io::WantWrite ? io : Io::Done;
    }
}

std::string CTlsConnection::Description() const
{
    if (!m_pSsl)
        return {};
    const char* cipher = SSL_get_cipher_name(m_pSsl);
    return std::string(SSL_get_version(m_pSsl)) + ", " + (cipher ? cipher : "no cipher");
}

std::string CTlsConnection::CertificateSummary() const
{
    const std::string now = m_pSsl ? summaryOf(SSL_get0_peer_certificate(m_pSsl)) : std::string();
    return now.empty() ? m_strCertificate : now;
}

} // namespace vistrel
