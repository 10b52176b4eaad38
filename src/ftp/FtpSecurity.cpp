#include "ftp/FtpSecurity.h"

namespace vistrel {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool CertificateUnchecked(const FtpSecuritySettings& s)
{
    return s.security != static_cast<int>(FtpSecurity::None) && !s.verifyCertificate &&
           s.fingerprint.empty();
}

bool ParseFingerprint(const std::string& text, Sha256Digest& digest)
{
    const std::size_t label = text.find('=');
    std::size_t i = label == std::string::npos ? 0 : label + 1;
    std::size_t nibbles = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':' || c == ' ' || c == '\t')
            continue;
        const int v = hexValue(c);
        if (v < 0 || nibbles == 2 * digest.size())
            return false;
        unsigned char& byte = digest[nibbles / 2];
        byte = static_cast<unsigned char>(nibbles % 2 == 0 ? v << 4 : byte | v);
        ++nibbles;
    }
    return nibbles == 2 * digest.size();
}

std::string FingerprintText(const Sha256Digest& digest)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char b : digest) {
        if (!out.empty())
            out += ':';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

} // namespace vistrel
