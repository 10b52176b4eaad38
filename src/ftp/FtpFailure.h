#pragma once

namespace vistrel {

// What kind of failure an FTP operation ended with, beside its message: callers decide by this,
// never by comparing messages.
enum class FtpFailure {
    None,
    NameNotFound,    // the host name did not resolve
    ConnectRefused,  // nothing listens at the address
    ConnectTimedOut, // no answer to the connection within the time-out
    ConnectFailed,   // no connection for another reason (no socket, network unreachable, …)
    TimedOut,        // a reply or a send did not complete within the time-out
    Network,         // the connection broke, or a data connection could not be made
    Tls,             // the TLS handshake failed or timed out, or the certificate was refused
    Refused,         // the server answered with a refusal (the message is its reply)
    LocalFile,       // the file to send could not be read
    Settings,        // the settings cannot be used (a line break, the proxy type, TLS values)
    Listing,         // a directory listing grew too large, took too long or was cancelled
};

// Whether the failure happened before a connection to the server (or proxy) was made.
constexpr bool IsConnectFailure(FtpFailure f)
{
    return f == FtpFailure::NameNotFound || f == FtpFailure::ConnectRefused ||
           f == FtpFailure::ConnectTimedOut || f == FtpFailure::ConnectFailed;
}

// Texts the FTP session leaves as its message.
namespace ftptext {
inline constexpr const char* kCreateSocket = "Unable to create socket";
inline constexpr const char* kConnect = "Unable to connect to server";
inline constexpr const char* kOpenLocalFile = "Unable to open file on local machine";
inline constexpr const char* kFileError = "File error";
inline constexpr const char* kLogonFailed = "Logon failed";
inline constexpr const char* kCreateListen = "Unable to create listen socket";
inline constexpr const char* kDataConnect = "Network error (DATA/PASV Connect)";
inline constexpr const char* kWrite = "Network error (Write)";
inline constexpr const char* kRead = "Network error (Read)";
inline constexpr const char* kHostName = "GetHostName failed";
inline constexpr const char* kAccept = "Failed to accept socket";
inline constexpr const char* kListen = "Unable to listen on socket";
inline constexpr const char* kCopyFile = "CopyFile failed (%d)"; // %d: the errno of the copy
inline constexpr const char* kTimeOut = "Time Out Error";
inline constexpr const char* kDataSocket = "Data Channel Socket Error";
// A user name, password, host, directory or file name with a line break (or a NUL) would smuggle
// extra commands to the server; such a value is refused before anything is sent.
// A directory listing that grew past CFtpSession::kMaxListingBytes, took longer than the
// listing's time limit, or was cancelled.
inline constexpr const char* kListingTooLarge = "The directory listing is larger than 16 MiB";
inline constexpr const char* kListingTooSlow = "The directory listing took too long";
inline constexpr const char* kListingCancelled = "The directory listing was cancelled";
inline constexpr const char* kLineBreak = "Refused: a name or password contains a line break";
// A log-on type without a log-on sequence (a stored proxy type outside the list).
inline constexpr const char* kProxyType = "The proxy type is not valid";
// TLS (FTPS). Certificate and handshake failures read "Certificate error: <reason>" and
// "TLS handshake failed: <reason>".
inline constexpr const char* kTlsTimedOut = "TLS handshake timed out";
// An FTP proxy would see the password (it must read the log-on to pass it on) and carries the
// session on in clear; TLS to the proxy would only pretend to protect it.
inline constexpr const char* kProxyTls = "Refused: TLS cannot be used with an FTP proxy log-on";
inline constexpr const char* kSecurityValue = "Refused: the FTP security setting must be 0, 1 or 2";
inline constexpr const char* kFingerprint =
    "Refused: the certificate fingerprint must be 64 hex digits (colons allowed)";
// Said once per session (log and status) when any certificate is accepted.
inline constexpr const char* kNotVerified = "Warning: the server's certificate is not verified";
} // namespace ftptext

} // namespace vistrel
