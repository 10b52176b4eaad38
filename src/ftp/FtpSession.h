#pragma once

#include "ftp/FtpConnection.h"
#include "ftp/FtpControl.h"
#include "ftp/FtpSecurity.h"
#include "ftp/TimedSocket.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vistrel {

struct LogOnValues;

// Name of the FTP log in the program folder; the upload worker opens it with OpenLog.
inline constexpr const char* kFtpLogFileName = "ftp.log";

// One FTP control connection, used for one job and then thrown away: one upload cycle or one
// action of the directory browser. Every operation blocks, returns success or failure and leaves
// the session message: the last reply line read (with its closing LF) or the text of the last
// failure (see ftptext), and beside it the failure's kind (Failure()). Callers read Message()
// right after the operation that failed, and decide by Failure(), never by the text.
//
// Calling order: construct; optionally OpenLog; LogOn; any number of commands and transfers;
// Quit; destroy. Destroying the session closes the log and a control connection still open,
// without sending QUIT. An upload cycle, for example:
//
//   CFtpSession s;
//   if (ftpLogOn)
//       s.OpenLog(programFolder + kFtpLogFileName);
//   if (!s.LogOn(ToFtpConnection(settings)))
//       fail("FTP Error: " + s.Message());
//   s.ChangeDir(dir); s.UploadFile(picture, tempName); s.Rename(tempName, name); s.Quit();
//
// The FTP log (OpenLog, see CFtpControl) records the conversation: every command sent by Command,
// LogOn, RNFR and the transfer commands (not QUIT, not LIST; passwords in clear on plain FTP), and
// after each reply its last line or, when reading failed, the message.
//
// TLS (SetSecurity): with explicit TLS the session sends "AUTH TLS" after the greeting and
// nothing else until the handshake is done; implicit TLS starts with the handshake. After the
// log-on it sends "PBSZ 0" and "PROT P", so that data connections are encrypted too; each resumes
// the control connection's TLS session and ends with a TLS close. The log then also records the
// protocol and cipher ("TLS: TLSv1.3, TLS_AES_256_GCM_SHA384"), the server's certificate, and
// the password command as "PASS ********".
//
// IPv6: on a control connection over IPv6 the data commands are EPSV and EPRT instead of PASV
// and PORT.
class CFtpSession {
  public:
    static constexpr int kDefaultTimeout = 90;
    // Data moves in chunks of this size (file reads, sends and listing receives).
    static constexpr int kTransferBufferSize = 256 * 1024;
    // The most bytes a directory listing may have: a server that never ends one is cut off.
    static constexpr long long kMaxListingBytes = 16ll << 20;
    // How long a whole listing may take, from the LIST on (unless SetListDeadline says otherwise).
    static constexpr int kListDeadline = 120;

    CFtpSession();
    ~CFtpSession();
    CFtpSession(const CFtpSession&) = delete;
    CFtpSession& operator=(const CFtpSession&) = delete;

    // Time-out in seconds for every socket created afterwards (replies, sends, connects, accept).
    void SetTimeout(int seconds) { m_nTimeout = seconds; }
    int Timeout() const { return m_nTimeout; }
    // Data connections by PASV (true) or PORT (false). Returns the previous value.
    bool SetPassive(bool passive);
    // TLS for the next LogOn (the default is plain FTP).
    void SetSecurity(const FtpSecuritySettings& settings) { m_security = settings; }
    const FtpSecuritySettings& Security() const { return m_security; }
    // The wait of each receive of a listing (45 s by default, whatever the time-out is).
    void SetListReceiveWait(int seconds) { m_nListReceiveWait = seconds; }
    // The time a whole listing may take, however slowly the server drips it.
    void SetListDeadline(int seconds) { m_nListDeadline = seconds; }
    // Asked while a listing is received: true ends it at once (the browser's Cancel).
    void SetCancel(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

    // Opens the FTP log at path, created anew with mode 0600 (an existing one is made 0600 too:
    // it holds passwords). True when this call opened it; false when it cannot be opened (the
    // session then runs without a log) or a log is already open (that one stays).
    bool OpenLog(const std::string& path) { return m_control.OpenLog(path); }
    void CloseLog() { m_control.CloseLog(); }
    bool LogOpen() const { return m_control.LogOpen(); }

    // Opens the control connection ("Unable to create socket", "Unable to connect to server").
    bool Connect(const std::string& host, int port);
    // Takes an already connected control connection instead of Connect (tools and tests).
    bool AttachControl(int handle);

    // Sends text + CR LF ("Network error (Write)" on failure). Writes nothing to the log.
    bool SendCommand(const std::string& text)
    {
        return m_control.Send(text, CFtpControl::Echo::Quiet);
    }
    // Reads one reply (see CFtpControl::Read). Writes nothing to the log.
    bool ReadReply() { return m_control.Read(CFtpControl::Echo::Quiet); }
    // Sends text (unless empty) and reads the reply: true only for a 2xx reply.
    bool Command(const std::string& text);

    // Takes the connection's time-out, passive mode and security, then logs on as the long form
    // below does.
    bool LogOn(const FtpConnection& connection);
    // Why the last LogOn could not connect, in words (see DescribeConnectFailure): "connection
    // refused: nothing listens on 127.0.0.1:2199", "name not found: …"; empty after any other
    // outcome.
    const std::string& ConnectCause() const { return m_strConnectCause; }

    // Connects to the server (log-on type 0) or the proxy (any other type), reads the greeting
    // (2xx) and runs the log-on sequence of logonType (see LogOnTable.h). account is empty for
    // every caller. A type that has no sequence returns false at once with the message "The proxy
    // type is not valid"; a value with a line break returns false before connecting, and so do
    // TLS with a proxy type, a security value other than 0, 1, 2 and a malformed fingerprint.
    // With TLS, a refused AUTH TLS fails with the server's reply, a failed handshake with what
    // failed, and nothing of the log-on is sent unless the handshake succeeded.
    bool LogOn(const std::string& host, int port, const std::string& user,
               const std::string& password, const std::string& account,
               const std::string& proxyHost, const std::string& proxyUser,
               const std::string& proxyPassword, int proxyPort, int logonType);

    bool ChangeDir(const std::string& dir);   // CWD, 2xx
    bool DeleteFile(const std::string& name); // DELE, 2xx or a reply beginning "550" (not there)
    // RNFR then RNTO; a reply to RNFR beginning "550" (source not there) also counts as success.
    bool RenameTolerant(const std::string& oldName, const std::string& newName);
    bool Rename(const std::string& oldName, const std::string& newName); // no tolerance
    bool MakeDir(const std::string& name);                               // MKD, 2xx
    // Sends QUIT without reading a reply and closes the control connection. With TLS asked for,
    // QUIT is sent only through TLS (after a refused AUTH TLS the connection just closes).
    void Quit();

    // Stores the local file on the server as remoteName (relative to the current directory). The
    // file is opened once and sent from that descriptor: the picture's writers replace it by
    // rename, so the upload sends the picture as it was when the call began, and no copy with a
    // name is made that could outlive the process. A file that cannot be opened, or is not a
    // regular file, gives "CopyFile failed (n)" with the errno (2: it does not exist) and sends
    // nothing.
    bool UploadFile(const std::string& localPath, const std::string& remoteName);
    // Stores localPath as remoteName over a passive (PASV) or active (PORT) data connection.
    // Passive: the data connection goes to the control connection's peer at the port the PASV
    // reply names (the reply's address must be well-formed but is not followed). Active: only a
    // connection from the control connection's peer address is accepted.
    bool StoreFile(const std::string& remoteName, const std::string& localPath, bool passive);
    // Lists the current remote directory (always passive, to the control connection's peer),
    // appending the raw bytes to listing. Returns the number of bytes received when the listing
    // ended with a 2xx reply, else 0.
    long long List(std::string& listing);

    const std::string& Message() const { return m_control.Message(); }
    int ReplyClass() const { return m_control.ReplyClass(); }
    FtpFailure Failure() const { return m_control.Failure(); }
    bool Passive() const { return m_bPassive; }

  private:
    // Sends text (unless empty) and reads the reply, both logged: true when the reply's class is
    // wanted; another reply is a refusal.
    bool Expect(const std::string& text, int wantedClass);
    // After a data command: the preliminary reply, logged, which must be 1xx.
    bool ReadPreliminary();
    // Whether the security settings can be used for a log-on of this type (else the message says
    // why, and nothing is sent); pin is the certificate fingerprint to check, if any.
    bool SecurityUsable(int logonType, std::optional<Sha256Digest>& pin);
    // The log-on commands of row, from its first step to its end mark.
    bool RunLogOnSequence(std::span<const int> row, const LogOnValues& values);
    // The TLS handshake of the control connection, logged.
    bool SecureControl();
    // PBSZ 0 and PROT P after a TLS log-on.
    bool ProtectData();
    // The TLS handshake of a data connection. The STOR or LIST has been sent; for active mode
    // this first accepts the server's connection. The preliminary (1xx) reply is read whenever it
    // comes, before, during or after the handshake (servers differ), and must be 1xx.
    bool SecureData(CTimedSocket& data, CTimedSocket* listener, const std::string& onlyFrom);
    bool RefuseLineBreaks(std::initializer_list<const std::string*> values);
    bool RenameImpl(const std::string& oldName, const std::string& newName, bool tolerant);
    // After a failed passive data connection: the server's refusal when it already came, else
    // "Unable to connect to server".
    void TakeReplyAfterFailedConnect();
    static constexpr int kRefusalWaitSeconds = 2;
    bool StoreDescriptor(const std::string& remoteName, int fd, bool passive);
    // Active mode: a listening socket, and PORT (EPRT over IPv6) naming it; controlPeer is the
    // only address the server's connection may come from.
    bool OfferActivePort(CTimedSocket& listener, std::string& controlPeer);
    bool PassiveDataAddress(std::string& address, int& port);

    FtpSecuritySettings m_security;
    // Before the control connection: its TLS connection refers to the context until it is closed.
    std::unique_ptr<CTlsContext> m_pTls;
    CFtpControl m_control;
    std::string m_strConnectCause;
    bool m_bPassive = false;
    int m_nTimeout = kDefaultTimeout;
    int m_nListReceiveWait = CTimedSocket::kReceiveWait;
    int m_nListDeadline = kListDeadline;
    std::function<bool()> m_cancelled;
};

// The data address of a PASV reply: the text between the first "(" and the first ")"; its part
// after the last comma is the port's low byte, the part before that its high byte, and the rest
// the address, written as "a.b.c.d" from its four numbers. False when either parenthesis is missing
// or out of order, when a part is not a number from 0 to 255 (spaces before it allowed), or when
// the address has not four parts.
bool ParsePasvReply(const std::string& reply, std::string& address, int& port);

// The data port of an EPSV reply: "(|||port|)", where "|" may be any printable character that is
// not a digit. False when there is no such text or the port is not 1 to 65535.
bool ParseEpsvReply(const std::string& reply, int& port);

// Removes the private upload copies ("VSI" and six characters) that earlier versions made in the
// private temporary directory and could leave behind when an upload was abandoned at shutdown.
// Called once at start-up. Returns the number removed.
int RemoveStaleUploadCopies();

} // namespace vistrel
