#pragma once

#include <array>
#include <string>

namespace vistrel {

// How an FTP session protects its connections (UploadOptions/FTPSecurity).
enum class FtpSecurity {
    None = 0,     // plain FTP, as always
    Explicit = 1, // AUTH TLS after the greeting, then PBSZ 0 and PROT P: data encrypted too
    Implicit = 2, // TLS from the first byte (usually port 990), then PBSZ 0 and PROT P
};

// The TLS settings of one session, as the settings file keeps them. The defaults are plain FTP.
struct FtpSecuritySettings {
    int security = 0;              // UploadOptions/FTPSecurity, an FtpSecurity value
    bool verifyCertificate = true; // UploadOptions/FTPVerifyCertificate
    // UploadOptions/FTPCertificateFingerprint: the SHA-256 fingerprint the server's certificate
    // must have (hex, colons allowed); empty for none. When set, it is the whole check: a
    // self-signed certificate is trusted exactly when it matches.
    std::string fingerprint;
    // Why the stored values that decide security cannot be used (a word where a number belongs,
    // say), or empty. A session with a refusal logs on nowhere: it fails with this text before
    // it connects, so nothing falls back to plain FTP.
    std::string refusal;

    bool operator==(const FtpSecuritySettings&) const = default;
};

// Whether a session with these settings accepts any certificate (TLS on, verification off and
// no fingerprint): the session says so once in its log, the worker in its status.
bool CertificateUnchecked(const FtpSecuritySettings& settings);

using Sha256Digest = std::array<unsigned char, 32>;

// Reads a SHA-256 fingerprint: 64 hex digits, upper or lower case, with any colons or blanks
// between them; a leading label ending in "=" (as `openssl x509 -fingerprint -sha256` prints it)
// is skipped. False for anything else.
bool ParseFingerprint(const std::string& text, Sha256Digest& digest);

// "AB:CD:…": the form certificate tools print and ParseFingerprint reads.
std::string FingerprintText(const Sha256Digest& digest);

} // namespace vistrel
