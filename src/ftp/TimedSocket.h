#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include <sys/socket.h>

namespace vistrel {

class CTlsConnection;
class CTlsContext;

// The handle value of a CTimedSocket that holds no socket.
constexpr int INVALID_SOCKET = -1;

// Something whose input ends a wait of another socket: the FTP control connection, while a data
// connection waits for its peer, its handshake or its TLS close, so that a reply is read as soon
// as it comes.
class InputWatch {
  public:
    // Whether there is input to read without waiting.
    virtual bool InputReady() = 0;
    // The handle to poll for more.
    virtual int WatchHandle() const = 0;

  protected:
    ~InputWatch() = default;
};

// Why the last Connect failed, as the system said it.
struct ConnectError {
    enum class Stage {
        None,    // no failure
        Resolve, // the name did not resolve (resolveError: getaddrinfo's code, 0 for no address)
        Socket,  // no socket could be made (error: its errno)
        Connect, // no address answered (error: the errno of the last attempt, ETIMEDOUT when the
                 // time-out ran out)
    };
    Stage stage = Stage::None;
    int error = 0;
    int resolveError = 0;
};

// A blocking TCP socket (IPv4 or IPv6) whose waits are bounded: every wait for incoming data, for
// send space, for a connection to complete or for an incoming connection is limited by a time-out
// in whole seconds. The FTP client uses it for the control connection (read line by line through a
// CFtpControl), for data connections and for the listening socket of active mode.
//
// After StartTls, every Send, SendString, SendAll and Receive goes through TLS with the same waits
// and results.
//
// Results are return values and the FTP session picks the messages; the texts made here are the
// TLS failures (TlsError()) and DescribeConnectFailure's diagnosis. An object is used by one
// thread at a time and is never shared.
class CTimedSocket : public InputWatch {
  public:
    using Clock = std::chrono::steady_clock;

    // Time-out after construction; the FTP session sets its own right away.
    static constexpr int kDefaultTimeout = 45;
    // Receive waits this long whatever the time-out says.
    static constexpr int kReceiveWait = 45;

    explicit CTimedSocket(int handle = INVALID_SOCKET);
    ~CTimedSocket(); // closes a socket still held
    CTimedSocket(const CTimedSocket&) = delete;
    CTimedSocket& operator=(const CTimedSocket&) = delete;

    // Connects to host:port. host is a dotted IPv4 address, an IPv6 address (brackets allowed:
    // "[::1]"), neither of which is looked up, or a name, whose addresses (IPv6 and IPv4) are
    // tried in the resolver's order until one connects; when it does not resolve, LastError() is
    // EINVAL. All attempts together wait at most the time-out, shared among the addresses left so
    // that one that does not answer leaves time for the next. A socket of the address's family is
    // created as needed. Returns true when connected; when not, Failure() says why.
    bool Connect(const std::string& host, int port);

    // Creates a socket of family (AF_INET or AF_INET6, IPv6 only) bound to all local addresses at
    // port (0: any free port), with lingering off and keep-alive on, and sets it listening.
    // Returns false, with no socket held, on failure.
    bool CreateListener(int port, int family = AF_INET);

    // listen() with a backlog of 5 (again, after CreateListener, is harmless).
    bool Listen();

    // Waits at most the time-out for an incoming connection and returns its handle, or
    // INVALID_SOCKET when none came or accept failed. The caller owns the handle (see Attach).
    // With onlyFrom (an address as GetPeerAddress writes it), a connection from any other address
    // is closed at once and the wait goes on, still within the one time-out. With interruptOn, the
    // wait also ends when a reply can be read there (see InputReady): INVALID_SOCKET with
    // *interrupted set.
    int Accept(const std::string& onlyFrom = {}, InputWatch* interruptOn = nullptr,
               bool* interrupted = nullptr);

    // Takes ownership of a connected handle. False (and nothing changes) for INVALID_SOCKET.
    bool Attach(int handle);

    // Waits at most the time-out for send space, then one send of the whole length.
    // Returns > 0 bytes accepted (may be fewer than asked), 0 nothing accepted, -1 a wait or socket
    // error, -2 the wait for send space expired.
    int Send(const void* data, int length);
    // Send of a NUL-terminated text without its NUL.
    int SendString(const char* text);
    // Sends all length bytes, as many per call as the system takes, waiting (at most the time-out
    // each time) only while no byte can be sent: the bulk path of data connections. Returns length
    // when all was sent, -1 on a wait or socket error, -2 when a wait for send space expired.
    long long SendAll(const void* data, std::size_t length);

    // Waits at most the receive wait (45 s, not the time-out) for data, then one recv.
    // Returns > 0 bytes received; 0 when no data came in time, the peer closed or recv failed;
    // -1 when the wait itself failed.
    int Receive(void* buffer, int size);
    // One recv after waiting for data until deadline: > 0 bytes received, 0 the peer closed or
    // recv failed, -1 the wait failed, -2 no data by deadline.
    long long ReceiveBefore(void* buffer, std::size_t size, Clock::time_point deadline)
    {
        return ReceiveSome(buffer, size, deadline);
    }

    // The local address as text (dotted IPv4, or IPv6) NUL-terminated into dest, and the port in
    // host order. False when capacity is 0, getsockname fails, or the address text does not fit
    // (its length must be smaller than capacity).
    bool GetLocalAddress(char* dest, std::size_t capacity, int& port);
    // The address of the connected peer as text (dotted IPv4, or IPv6). False when there is none.
    bool GetPeerAddress(std::string& address) const;
    // AF_INET or AF_INET6 for a socket held, 0 without one.
    int Family() const;

    // TLS, as the client, on the connected socket (see CTlsConnection): runs the handshake, or
    // resumes one that was interrupted, until it is done, fails (TlsError() says why: a
    // "Certificate error: …" or "TLS handshake failed: …"), the deadline passes (TimedOut), or,
    // with interruptOn, a reply can be read there (Interrupted: read it, then call again). control:
    // this is the control connection, whose TLS session the data connections resume.
    enum class TlsResult { Done, Failed, TimedOut, Interrupted };
    TlsResult StartTls(CTlsContext& context, bool control, Clock::time_point deadline,
                       InputWatch* interruptOn = nullptr);
    bool IsTls() const { return m_pTls != nullptr; }
    const std::string& TlsError() const { return m_strTlsError; }
    // The TLS connection after StartTls (its protocol, cipher and certificate), else nullptr.
    const CTlsConnection* Tls() const { return m_pTls.get(); }
    // Ends TLS properly: sends close_notify and waits, until the deadline or until interruptOn
    // has a reply, for the peer's close_notify or the end of the stream, so that the server knows
    // the data it got is complete. True when that happened. Plain sockets: true at once. The
    // socket stays open (Reset closes it).
    bool ShutdownTls(Clock::time_point deadline, InputWatch* interruptOn = nullptr);

    // Whether a receive would find data without waiting: received bytes (for TLS, a record with
    // data, which this call takes in and the next receive hands out first).
    bool InputReady() override;
    int WatchHandle() const override { return m_hSocket; }

    void SetTimeout(int seconds) { m_nTimeout = seconds; }
    int Timeout() const { return m_nTimeout; }
    // Now plus the time-out: the deadline of a handshake or a TLS close.
    Clock::time_point TimeoutDeadline() const;
    // Shortens or lengthens the fixed receive wait (tests use short waits).
    void SetReceiveWait(int seconds) { m_nReceiveWait = seconds; }

    // Forgets bytes taken in ahead and closes the socket.
    void Reset();
    // Closes the socket if one is held, and ends TLS without close_notify (an abandoned transfer
    // must not look complete to the server).
    void Close();

    int Handle() const { return m_hSocket; }
    // errno of the last failure of Connect (EINVAL when a name did not resolve).
    int LastError() const { return m_nLastError; }
    const ConnectError& Failure() const { return m_failure; }

  private:
    // 1 ready, 0 expired, -1 failed, 2 interruptOn has input (see InputReady).
    int Wait(short events, int seconds);
    int WaitUntil(short events, Clock::time_point deadline, InputWatch* interruptOn = nullptr);
    // Connects the held socket to one address, waiting until deadline; 0 or the errno.
    int ConnectTo(const struct sockaddr_storage& addr, unsigned length, Clock::time_point deadline);
    // One read, plain or through TLS, waiting until deadline: > 0 bytes, 0 the end or an error,
    // -1 the wait failed, -2 the deadline passed.
    long long ReceiveSome(void* buffer, std::size_t size, Clock::time_point deadline);
    long long TlsRead(void* buffer, std::size_t size, Clock::time_point deadline);
    // Sends all through TLS, each wait at most the time-out: length, -1 error, -2 expired.
    long long TlsWrite(const void* data, std::size_t length);

    int m_hSocket = INVALID_SOCKET;
    // What InputReady took in through TLS and no receive has handed out yet.
    std::string m_readAhead;
    int m_nTimeout = kDefaultTimeout;
    int m_nReceiveWait = kReceiveWait;
    int m_nLastError = 0;
    ConnectError m_failure;
    std::unique_ptr<CTlsConnection> m_pTls;
    std::string m_strTlsError;
};

// host without the brackets of a literal IPv6 address ("[::1]" → "::1").
std::string HostWithoutBrackets(const std::string& host);

// Why a connection to host:port could not be made, in words: "connection refused: nothing
// listens on 127.0.0.1:2199", "timed out after 45 s", "name not found: …", or the system's text.
std::string DescribeConnectFailure(const ConnectError& failure, const std::string& host, int port,
                                   int timeoutSeconds);

} // namespace vistrel
