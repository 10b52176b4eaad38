#include "config/PasswordScrambling.h"

#include "platform/Profile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

using namespace vistrel;

namespace {

// The scrambling as earlier versions did it, written out separately from the code under test:
// what they stored and what they read back.
std::string earlierScramble(const std::string& clear)
{
    const std::string key(kPasswordKey);
    std::string out;
    std::size_t k = 0;
    for (const char ch : clear) {
        int t = static_cast<std::int8_t>(ch) + key[k] - 66;
        if (t > 93)
            t -= 93;
        const auto o = static_cast<unsigned char>(t + 33);
        out += static_cast<char>(o);
        if (o % 2 == 1)
            out += key[k];
        k = (k + 1) % key.size();
    }
    return out;
}

std::string earlierUnscramble(const std::string& stored)
{
    const std::string key(kPasswordKey);
    std::string out;
    std::size_t k = 0;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        int d = static_cast<std::int8_t>(static_cast<unsigned char>(stored[i] - key[k]));
        if (d < 0)
            d = 93 + d;
        out += static_cast<char>(d + 33);
        if (static_cast<unsigned char>(stored[i]) % 2 == 1)
            ++i;
        k = (k + 1) % key.size();
    }
    return out;
}

std::string randomBytes(std::mt19937& rng, std::size_t n, int lo, int hi)
{
    std::uniform_int_distribution<int> byte(lo, hi);
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += static_cast<char>(byte(rng));
    return s;
}

} // namespace

TEST(PasswordScrambling, FixedVectorsForPrintablePasswords)
{
    // "abc" by hand: 'a' 97+'K'75-66 = 106 > 93 -> 13 -> '.' (46, even);
    // 'b' 98+'p'112-66 = 144 -> 51 -> 'T' (84, even); 'c' 99+'3'51-66 = 84 -> 'u' (117, odd),
    // followed by the key character '3'.
    EXPECT_EQ(ScramblePassword("abc"), ".Tu3");
    EXPECT_EQ(ScramblePassword("a"), ".");
    EXPECT_EQ(ScramblePassword("secret"), "@Wpu3t]vMW");
    EXPECT_EQ(ScramblePassword("Passw0rd!"), "zSp(u#ovf,Wq++");
    EXPECT_EQ(ScramblePassword("!!!!!!!!!!!!!!!"), "KKp33##vWW8qq++Zr%%mmKKp");
    EXPECT_EQ(ScramblePassword("}}}}}}}}}}}}}}"), "Jop2\"uvV78p*YZqr$lJ");
    EXPECT_EQ(ScramblePassword("0123456789abcdefghijklmnopqrstuvwxyz"),
              "Z#pD5#,kWM8*BrUrfR1KWpxi#`B$^vIZbs%_m>d(vmvOW18kq&V");
    EXPECT_EQ(ScramblePassword("\"quoted\""), "Lcp*q#l>{8r");
    EXPECT_EQ(ScramblePassword("U0"), "\"\"");
    EXPECT_EQ(ScramblePassword(""), "");
    EXPECT_EQ(UnscramblePassword(""), "");
}

TEST(PasswordScrambling, PrintablePasswordsStoreAsBeforeAndComeBack)
{
    std::mt19937 rng(1);
    for (int c = 33; c <= 125; ++c) {
        const std::string p(27, static_cast<char>(c)); // every key position, twice over
        EXPECT_EQ(ScramblePassword(p), earlierScramble(p)) << c;
        EXPECT_EQ(UnscramblePassword(ScramblePassword(p)), p) << c;
    }
    for (int n = 0; n < 300; ++n) {
        const std::string p = randomBytes(rng, rng() % 40, 33, 125);
        const std::string stored = ScramblePassword(p);
        ASSERT_EQ(stored, earlierScramble(p));
        ASSERT_EQ(UnscramblePassword(stored), p);
        // n characters store as n..2n characters; fillers follow odd characters only.
        ASSERT_GE(stored.size(), p.size());
        ASSERT_LE(stored.size(), 2 * p.size());
    }
}

TEST(PasswordScrambling, EveryByteComesBackInEveryKeyPosition)
{
    for (int c = 1; c <= 255; ++c) {
        for (std::size_t pos = 0; pos <= kPasswordKey.size(); ++pos) {
            const std::string p = std::string(pos, 'a') + static_cast<char>(c) + "Zz";
            const std::string stored = ScramblePassword(p);
            ASSERT_EQ(UnscramblePassword(stored), p) << "byte " << c << " at " << pos;
            for (const char s : stored) {
                ASSERT_GE(static_cast<unsigned char>(s), 33);
                ASSERT_LE(static_cast<unsigned char>(s), 126);
            }
        }
    }
    // The two characters earlier versions lost.
    EXPECT_EQ(ScramblePassword(" "), "}~20");
    EXPECT_EQ(UnscramblePassword(ScramblePassword("pass word~")), "pass word~");
}

TEST(PasswordScrambling, TextsStoredByEarlierVersionsReadBackAsTheyDid)
{
    // Whatever an earlier version stored, for any password, reads back as it read it then
    // (a space as '}', '~' as '!'), so existing settings files keep working.
    EXPECT_EQ(UnscramblePassword(earlierScramble("a b")), "a}b");
    EXPECT_EQ(UnscramblePassword(earlierScramble("~~~")), "!!!");
    std::mt19937 rng(2);
    for (int n = 0; n < 3000; ++n) {
        const std::string stored = earlierScramble(randomBytes(rng, 1 + rng() % 30, 1, 255));
        ASSERT_EQ(UnscramblePassword(stored), earlierUnscramble(stored));
    }
}

TEST(PasswordScrambling, LongAndMixedPasswordsRoundTrip)
{
    std::mt19937 rng(3);
    for (const std::size_t n : {511u, 512u, 1024u, 5000u}) {
        const std::string p = randomBytes(rng, n, 1, 255);
        EXPECT_EQ(UnscramblePassword(ScramblePassword(p)), p) << n;
    }
    // Damaged or cut texts still decode to something, without reading past their end.
    for (const std::string s : {"}", "}~", "}~2", "}~2G", "}~zz", "!"})
        UnscramblePassword(s);
}

TEST(PasswordScrambling, StoredTextInQuotesSurvivesTheSettingsFile)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    ASSERT_TRUE(
        WritePrivateProfileString("UploadOptions", "FTPPassword", ScramblePassword("U0"), f));
    EXPECT_EQ(UnscramblePassword(GetPrivateProfileString("UploadOptions", "FTPPassword", "", f)),
              "U0");
}

TEST(PasswordScrambling, LegacyRoutineUsesTheLongerKeyCycle)
{
    // 'a' - 'K' = 22 -> 22 + 35 = '9'; 'a' is odd, so 'b' is a filler; 'c' - 'p' = -13 -> 89 - 13
    // + 35 = 'o'.
    EXPECT_EQ(UnscrambleLegacyPassword("abc"), "9o");
    // Position 13 is the key's terminating zero ('"' + 35 = 'E'), then the cycle starts again.
    const std::string clear = UnscrambleLegacyPassword(std::string(15, '"'));
    EXPECT_EQ(clear, "S.k{(Gf-sD,y1ES");
    EXPECT_EQ(clear[14], clear[0]);
    EXPECT_EQ(UnscrambleLegacyPassword(""), "");
}
