#include "TestCertificates.h"

#include "TestSupport.h"

#include "ftp/FtpSecurity.h"

#include <cstdio>
#include <memory>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace vistrel::test {

namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;

bool addExtension(X509* cert, X509V3_CTX* ctx, int nid, const std::string& value)
{
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

template <typename Write> bool writePem(const std::string& path, Write write)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    const bool ok = write(f);
    return std::fclose(f) == 0 && ok;
}

} // namespace

bool MakeCertificate(const std::string& dir, const std::string& name, const std::string& commonName,
                     const std::vector<std::string>& altNames, const TestCertificate* issuer,
                     bool ca, TestCertificate& out)
{
    KeyPtr key(EVP_RSA_gen(2048));
    CertPtr cert(X509_new());
    if (!key || !cert)
        return false;
    KeyPtr issuerKey;
    CertPtr issuerCert;
    if (issuer) {
        std::FILE* k = std::fopen(issuer->keyFile.c_str(), "r");
        std::FILE* c = std::fopen(issuer->certFile.c_str(), "r");
        if (k)
            issuerKey.reset(PEM_read_PrivateKey(k, nullptr, nullptr, nullptr));
        if (c)
            issuerCert.reset(PEM_read_X509(c, nullptr, nullptr, nullptr));
        if (k)
            std::fclose(k);
        if (c)
            std::fclose(c);
        if (!issuerKey || !issuerCert)
            return false;
    }
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_set_version(cert.get(), 2);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* subject = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(),
                         issuerCert ? X509_get_subject_name(issuerCert.get()) : subject);

    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuerCert ? issuerCert.get() : cert.get(), cert.get(), nullptr, nullptr,
                   0);
    std::string san;
    for (const std::string& n : altNames)
        san += (san.empty() ? "" : ",") + n;
    if (!addExtension(cert.get(), &ctx, NID_basic_constraints,
                      ca ? "critical,CA:TRUE" : "critical,CA:FALSE") ||
        !addExtension(cert.get(), &ctx, NID_key_usage,
                      ca ? "critical,keyCertSign,cRLSign"
                         : "critical,digitalSignature,keyEncipherment") ||
        !addExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash") ||
        (!ca && !addExtension(cert.get(), &ctx, NID_ext_key_usage, "serverAuth")) ||
        (!san.empty() && !addExtension(cert.get(), &ctx, NID_subject_alt_name, san)))
        return false;
    if (X509_sign(cert.get(), issuerKey ? issuerKey.get() : key.get(), EVP_sha256()) <= 0)
        return false;

    out.certFile = dir + "/" + name + ".pem";
    out.keyFile = dir + "/" + name + ".key";
    Sha256Digest digest{};
    unsigned int length = 0;
    if (X509_digest(cert.get(), EVP_sha256(), digest.data(), &length) != 1)
        return false;
    out.fingerprint = FingerprintText(digest);
    return writePem(out.certFile,
                    [&](std::FILE* f) { return PEM_write_X509(f, cert.get()) == 1; }) &&
           writePem(out.keyFile, [&](std::FILE* f) {
               return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) ==
                      1;
           });
}

const TestCertificates& SharedTestCertificates()
{
    static TempDir dir;
    static const TestCertificates certificates = [] {
        TestCertificates c;
        const std::vector<std::string> loopback = {"IP:127.0.0.1", "IP:::1", "DNS:localhost"};
        c.ok = MakeCertificate(dir.path(), "self-signed", "localhost", loopback, nullptr, false,
                               c.selfSigned) &&
               MakeCertificate(dir.path(), "ca", "Vistrel test CA", {}, nullptr, true, c.ca) &&
               MakeCertificate(dir.path(), "trusted", "localhost", loopback, &c.ca, false,
                               c.trusted) &&
               MakeCertificate(dir.path(), "other-name", "other.invalid", {"DNS:other.invalid"},
                               &c.ca, false, c.otherName);
        return c;
    }();
    return certificates;
}

} // namespace vistrel::test
