#include "config/PasswordScrambling.h"

#include <cstdint>

namespace vistrel {

// The stored form, one unit per clear character, the key position k advancing once per unit:
//
//   plain unit:   o [K[k] when o is odd]   o = c + K[k] - 66 (less 93 when above 93) + 33
//   escape unit:  '}' '~' H L              H L = the byte in upper-case hexadecimal
//
// Earlier versions wrote plain units only. After an odd character they always wrote K[k] as a
// filler, and '}' is odd while the key holds no '~', so "}~" never starts a unit in any text
// they stored: reading it as an escape cannot change how an existing text reads back. Bytes
// that a plain unit does not bring back unchanged (a space, '~', control and 8-bit bytes) are
// written as escapes.

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Key characters are taken as signed 8-bit values; position L (only reached by the legacy
// routine) is the key's terminating zero.
int keyAt(std::string_view key, std::size_t k)
{
    return k < key.size() ? static_cast<int>(static_cast<std::int8_t>(key[k])) : 0;
}

int signed8(int v)
{
    return static_cast<int>(static_cast<std::int8_t>(static_cast<std::uint8_t>(v & 0xFF)));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The plain unit's first character for clear byte c at key character kc.
unsigned char plainUnit(unsigned char c, int kc)
{
    int t = signed8(c) + kc - 66;
    if (t > 93)
        t -= 93;
    return static_cast<unsigned char>(t + 33);
}

// What the plain reading makes of stored character o at key character kc.
unsigned char plainRead(unsigned char o, int kc)
{
    int d = signed8(o - kc);
    if (d < 0)
        d = 93 - (-d);
    return static_cast<unsigned char>(d + 33);
}

bool isEscape(std::string_view s, std::size_t i)
{
    return i + 3 < s.size() && s[i] == '}' && s[i + 1] == '~' && hexValue(s[i + 2]) >= 0 &&
           hexValue(s[i + 3]) >= 0;
}

} // namespace

std::string ScramblePassword(std::string_view clear, std::string_view key)
{
    std::string out;
    out.reserve(clear.size() * 2);
    std::size_t k = 0;
    for (const char ch : clear) {
        const auto c = static_cast<unsigned char>(ch);
        const int kc = keyAt(key, k);
        const unsigned char o = plainUnit(c, kc);
        // The "}~" check keeps escapes unambiguous even for a key that holds '~'.
        const bool plain = c >= 33 && c <= 125 && plainRead(o, kc) == c && !(o == '}' && kc == '~');
        if (plain) {
            out += static_cast<char>(o);
            if (o & 1)
                out += static_cast<char>(kc);
        } else {
            out += "}~";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        if (++k >= key.size())
            k = 0;
    }
    return out;
}

std::string UnscramblePassword(std::string_view stored, std::string_view key)
{
    std::string out;
    out.reserve(stored.size());
    std::size_t k = 0;
    std::size_t i = 0;
    while (i < stored.size()) {
        if (isEscape(stored, i)) {
            out += static_cast<char>(hexValue(stored[i + 2]) * 16 + hexValue(stored[i + 3]));
            i += 4;
        } else {
            const auto o = static_cast<unsigned char>(stored[i]);
            out += static_cast<char>(plainRead(o, keyAt(key, k)));
            if (o & 1)
                ++i; // skip the filler
            ++i;
        }
        if (++k >= key.size())
            k = 0;
    }
    return out;
}

std::string UnscrambleLegacyPassword(std::string_view stored, std::string_view key)
{
    std::string out;
    out.reserve(stored.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const auto o = static_cast<unsigned char>(stored[i]);
        int d = signed8(o - keyAt(key, k));
        if (d < 0)
            d = 89 - (-d);
        out += static_cast<char>(static_cast<unsigned char>(d + 35));
        if (o & 1)
            ++i;
        // This layout's key cycle has L + 1 positions, the last being the terminating zero.
        if (++k > key.size())
            k = 0;
    }
    return out;
}

} // namespace vistrel
