#pragma once

#include "ftp/FtpSecurity.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

// OpenSSL's types, so that this header does not pull in its headers.
struct ssl_ctx_st;
struct ssl_st;
struct ssl_session_st;
struct x509_store_ctx_st;

namespace vistrel {

// The TLS side of one FTP session: one OpenSSL client context with the session's certificate
// rules, and the TLS session of the control connection, which every data connection resumes
// (servers such as vsftpd with require_ssl_reuse refuse data connections that do not, so that
// nobody else can slip into a transfer). With TLS 1.3 a server may accept each of its session
// tickets once only; each resumption brings a new one, so the tickets descending from the control
// connection's session are kept and each is used once, the last one as often as needed.
class CTlsContext {
  public:
    CTlsContext();
    ~CTlsContext();
    CTlsContext(const CTlsContext&) = delete;
    CTlsContext& operator=(const CTlsContext&) = delete;

    // host: the server's name or address as the connection uses it (no brackets). With verify,
    // the certificate chain is checked against the system's CA store and must name host. With
    // pin, the certificate must have that SHA-256 fingerprint instead, and nothing else is
    // checked. Neither: any certificate is accepted. False with *error when OpenSSL cannot set
    // up a context.
    bool Init(const std::string& host, bool verify, const std::optional<Sha256Digest>& pin,
              std::string* error);

    const std::string& Host() const { return m_strHost; }
    const std::optional<Sha256Digest>& Pin() const { return m_pin; }

  private:
    friend class CTlsConnection;
    static int NewSession(ssl_st* ssl, ssl_session_st* session);
    // The session for the next data connection (owned here), or nullptr before there is one.
    ssl_session_st* NextSession();

    static constexpr std::size_t kMaxSessions = 8;
    ssl_ctx_st* m_pCtx = nullptr;
    std::deque<ssl_session_st*> m_sessions; // oldest first, each held with a reference
    ssl_session_st* m_pLastUsed = nullptr;  // kept alive while a data connection may still use it
    std::string m_strHost;
    bool m_bVerify = true;
    std::optional<Sha256Digest> m_pin;
};

// One TLS client connection over a connected socket, driven without blocking: each call does
// what it can at once and says what it waits for; CTimedSocket does the (bounded) waiting. The
// socket's bytes go through the socket calls of SocketCalls.h, never with SIGPIPE.
class CTlsConnection {
  public:
    enum class Io {
        Done,      // finished (Read, Write: n bytes)
        WantRead,  // call again when the socket is readable
        WantWrite, // call again when the socket is writable
        Closed,    // the peer ended the connection (close_notify or end of stream)
        Failed,    // a protocol or socket error; Error() says what
    };

    // control: the session's control connection (its TLS session is the one data connections
    // resume); otherwise a data connection, which resumes it (see CTlsContext).
    CTlsConnection(CTlsContext& context, int fd, bool control);
    ~CTlsConnection();
    CTlsConnection(const CTlsConnection&) = delete;
    CTlsConnection& operator=(const CTlsConnection&) = delete;

    // The client handshake, including the certificate check. On Failed, Error() is
    // "Certificate error: <reason>" or "TLS handshake failed: <reason>".
    Io Handshake();
    // Only after a successful handshake; Failed before (so nothing can restart a failed one).
    Io Read(void* buffer, std::size_t size, std::size_t& n);
    Io Write(const void* data, std::size_t size, std::size_t& n);
    // Sends close_notify (once) and then reads until the peer's close_notify or the end of the
    // stream, discarding anything else: Done when that came.
    Io Shutdown();

    // "TLSv1.3, TLS_AES_256_GCM_SHA384" once the handshake is done.
    std::string Description() const;
    // "CN=ftp.example.org, SHA-256 AB:CD:…" of the server's certificate, empty before one came.
    std::string CertificateSummary() const;
    const std::string& Error() const { return m_strError; }

  private:
    friend class CTlsContext;
    Io Fail(int result, const char* what);
    static int Verify(int ok, ::x509_store_ctx_st* store);

    CTlsContext& m_context;
    ssl_st* m_pSsl = nullptr;
    int m_fd;
    bool m_bControl;
    bool m_bReady = false; // the handshake and the certificate check passed
    bool m_bCloseSent = false;
    std::string m_strError;
    std::string m_strCertificate; // the summary, recorded while the chain is checked
};

// Whether text is a literal IPv4 or IPv6 address (no brackets).
bool IsAddressLiteral(const std::string& text);

} // namespace vistrel
