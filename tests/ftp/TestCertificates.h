#pragma once

#include <string>
#include <vector>

namespace vistrel::test {

// A certificate and its key made at test time with OpenSSL (RSA 2048, SHA-256, valid from an hour
// ago for a day), as PEM files.
struct TestCertificate {
    std::string certFile;
    std::string keyFile;
    std::string fingerprint; // SHA-256, "AB:CD:…"
};

// Makes dir/name.pem and dir/name.key for the common name and subject alternative names (such as
// "IP:127.0.0.1", "DNS:localhost"): signed by issuer, or self-signed without one. ca makes a
// certificate authority that can sign others. False when OpenSSL failed.
bool MakeCertificate(const std::string& dir, const std::string& name, const std::string& commonName,
                     const std::vector<std::string>& altNames, const TestCertificate* issuer,
                     bool ca, TestCertificate& out);

// The certificates the TLS tests share, made once per test process in a folder removed at exit:
//   selfSigned  for 127.0.0.1, ::1 and localhost, signed by itself
//   ca          a test certificate authority (point SSL_CERT_FILE at ca.certFile to trust it)
//   trusted     for 127.0.0.1, ::1 and localhost, signed by ca
//   otherName   for other.invalid only, signed by ca
struct TestCertificates {
    TestCertificate selfSigned, ca, trusted, otherName;
    bool ok = false;
};
const TestCertificates& SharedTestCertificates();

} // namespace vistrel::test
