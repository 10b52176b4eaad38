#pragma once

#include "ftp/FtpFailure.h"
#include "ftp/TimedSocket.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace vistrel {

// The time a whole FTP reply may take: unset until ReadLine takes the reply's first byte, then
// that moment plus the socket's time-out. One object spans every line of one reply, so a server
// that keeps sending continuation lines, or trickles a line byte by byte, cannot hold the reader
// for longer than that.
struct ReplyDeadline {
    bool started = false;
    std::chrono::steady_clock::time_point at{};
};

// The FTP control connection: commands out (each with CR LF), one whole reply in within its
// deadline, and the FTP log, in which every command sent and every reply read is written once.
//
// The log is a text file in the CR LF convention: every entry is followed by CR LF and every LF is
// stored as CR LF, so an entry ends in CR CR LF and a reply line's own LF becomes CR LF. Once the
// connection runs through TLS, a password command is logged as "PASS ********"; on plain FTP the
// password is on the wire in clear anyway, and the log shows what was sent.
//
// Every operation leaves the message: the last reply line read (with its closing LF) or the text
// of the failure, and the failure's kind.
class CFtpControl : public InputWatch {
  public:
    using Clock = CTimedSocket::Clock;
    // Capacity of the line buffer. A fill reads at most kLineBufferSize - 1 bytes and puts an end
    // marker (a CR that is never handed out) behind them.
    static constexpr int kLineBufferSize = 7010;

    CFtpControl();
    ~CFtpControl();
    CFtpControl(const CFtpControl&) = delete;
    CFtpControl& operator=(const CFtpControl&) = delete;

    // Opens the log at path, created anew with mode 0600 (an existing one is made 0600 too: it
    // holds passwords). True when this call opened it; false when it cannot be opened (the
    // conversation then goes unlogged) or a log is already open (that one stays).
    bool OpenLog(const std::string& path);
    void CloseLog();
    bool LogOpen() const { return m_pLog != nullptr; }
    // One entry, followed by CR LF.
    void Log(const std::string& entry);

    // Connects to host:port with the time-out ("Unable to create socket" when no socket could be
    // made, "Unable to connect to server" otherwise; the kind says why).
    bool Connect(const std::string& host, int port);
    // Takes an already connected handle instead.
    bool Attach(int handle);
    bool Connected() const { return m_socket.Handle() != INVALID_SOCKET; }
    void SetTimeout(int seconds) { m_socket.SetTimeout(seconds); }
    int Timeout() const { return m_socket.Timeout(); }
    CTimedSocket& Socket() { return m_socket; }
    const CTimedSocket& Socket() const { return m_socket; }
    // TLS on the connection; what came in clear and was not read yet is dropped first.
    CTimedSocket::TlsResult StartTls(CTlsContext& context);
    // Empties the line buffer and closes the connection.
    void Reset();

    enum class Echo { Log, Quiet };
    // Sends text + CR LF ("Network error (Write)" on failure, "Refused: a name or password
    // contains a line break" without sending when it has one) and, with Echo::Log, logs it.
    bool Send(const std::string& text, Echo echo = Echo::Log);
    // Reads one reply, multi-line replies included ("Network error (Read)" on failure). The
    // message becomes its last line, ReplyClass() its first digit. The whole reply must arrive
    // within the time-out counted from its first byte. Of a line longer than the line buffer
    // (kLineBufferSize - 2 bytes before its end) only the beginning is kept, with an LF added.
    // With Echo::Log the message is logged, whether a reply came or not.
    bool Read(Echo echo = Echo::Log);
    // Send, then Read, both logged: true when a reply came (whatever it says).
    bool Exchange(const std::string& text);

    // Reads one line into dest (capacity bytes including the terminating NUL). A CR is delivered
    // as LF and ends the line; NUL and LF bytes on the wire are skipped. A line longer than
    // capacity - 1 bytes is delivered in pieces of capacity - 1 bytes. length is set to the bytes
    // stored (LF included).
    // Returns 1 when a line or a full piece was delivered; 0 when capacity <= 1, when the wait
    // expired (length 0), or when the peer closed or failed first (dest then holds what arrived
    // and length counts it); -1 when the wait itself failed (length 0).
    // With a deadline, waiting ends at the deadline once it has started (see ReplyDeadline), and
    // a call that would have to wait after that returns 0 (length 0) even if data is ready.
    int ReadLine(char* dest, int capacity, int& length, ReplyDeadline* deadline = nullptr);

    // Whether a reply can be read without waiting: bytes in the line buffer that ReadLine hands
    // out, or input on the connection.
    bool InputReady() override;
    int WatchHandle() const override { return m_socket.Handle(); }

    const std::string& Message() const { return m_strMessage; }
    int ReplyClass() const { return m_nReplyClass; }
    FtpFailure Failure() const { return m_failure; }
    // A failure of the session's own: its text and kind.
    bool Fail(FtpFailure kind, std::string text);
    // A reply that is not the one wanted: the message is the reply, the kind Refused.
    bool Refused();

  private:
    bool ReadLineInto(std::string& line, ReplyDeadline& deadline);

    std::FILE* m_pLog = nullptr;
    CTimedSocket m_socket;
    int m_nBuffered = 0;
    int m_nReadPos = -1;
    bool m_bExpired = false; // the last ReadLine ran out of time
    char m_buffer[kLineBufferSize];
    std::string m_strMessage;
    int m_nReplyClass = 0;
    FtpFailure m_failure = FtpFailure::None;
};

// Whether text contains CR, LF or NUL.
bool HasLineBreak(const std::string& text);

} // namespace vistrel
