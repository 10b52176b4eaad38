#include "updater/UpdateCheck.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(UpdaterCommandLine, SilentFlagAndLastPathWin)
{
    auto cmd = ParseUpdaterCommandLine("-s program.xml");
    EXPECT_TRUE(cmd.bSilent);
    EXPECT_EQ(cmd.strPadPath, "program.xml");
    cmd = ParseUpdaterCommandLine("program.xml -S");
    EXPECT_TRUE(cmd.bSilent);
    EXPECT_EQ(cmd.strPadPath, "program.xml");
    cmd = ParseUpdaterCommandLine("a.xml  b.xml ");
    EXPECT_FALSE(cmd.bSilent);
    EXPECT_EQ(cmd.strPadPath, "b.xml");
    // Quotes are not special and "-silent" is a path.
    cmd = ParseUpdaterCommandLine("\"my pad.xml\" -silent");
    EXPECT_EQ(cmd.strPadPath, "-silent");
    cmd = ParseUpdaterCommandLine("   -s ");
    EXPECT_TRUE(cmd.bSilent);
    EXPECT_EQ(cmd.strPadPath, "");
    EXPECT_EQ(ParseUpdaterCommandLine("").strPadPath, "");

    const char* argv[] = {"updater", "-s", "my pad.xml"};
    EXPECT_EQ(JoinArguments(3, argv), "-s my pad.xml");
    EXPECT_EQ(ParseUpdaterCommandLine(JoinArguments(3, argv)).strPadPath, "pad.xml");
}

TEST(SplitUrl, HostPortAndResourcePath)
{
    std::string host, path;
    std::uint16_t port = 1;
    EXPECT_TRUE(SplitUrl(" http://host:8080/pad/app.xml?x=1 \r\n", host, port, path));
    EXPECT_EQ(host, "host");
    EXPECT_EQ(port, 8080);
    EXPECT_EQ(path, "/pad/app.xml?x=1");

    EXPECT_TRUE(SplitUrl("http://example.invalid", host, port, path));
    EXPECT_EQ(host, "example.invalid");
    EXPECT_EQ(port, 80);
    EXPECT_EQ(path, "/");

    // The scheme is compared in small letters; an address without one is a host and path.
    EXPECT_TRUE(SplitUrl("HTTP://h/x", host, port, path));
    EXPECT_EQ(host, "h");
    EXPECT_TRUE(SplitUrl("h2: 81/y", host, port, path));
    EXPECT_EQ(host, "h2");
    EXPECT_EQ(port, 81);
    EXPECT_EQ(path, "/y");

    // https: port 443 unless one is given, and said so; anything else is not secure.
    bool secure = false;
    EXPECT_TRUE(SplitUrl("HTTPS://updates.example/app.xml", host, port, path, &secure));
    EXPECT_TRUE(secure);
    EXPECT_EQ(port, 443);
    EXPECT_TRUE(SplitUrl("https://h:8443/x", host, port, path, &secure));
    EXPECT_EQ(port, 8443);
    EXPECT_TRUE(SplitUrl("http://h/x", host, port, path, &secure));
    EXPECT_FALSE(secure);
    EXPECT_TRUE(SplitUrl("h/x", host, port, path, &secure));
    EXPECT_FALSE(secure);
}

TEST(SplitUrl, FailuresLeaveWhatWasSet)
{
    std::string host = "old", path = "/old";
    std::uint16_t port = 1;
    EXPECT_FALSE(SplitUrl("ftp://h/s.exe", host, port, path));
    EXPECT_EQ(host, "old");
    EXPECT_EQ(path, "/old");
    EXPECT_EQ(port, 80);

    EXPECT_FALSE(SplitUrl("http://h:0/x", host, port, path));
    EXPECT_EQ(host, "h");
    EXPECT_EQ(port, 0);
    EXPECT_FALSE(SplitUrl("http://h:x/x", host, port, path));
    // A port beyond 16 bits is refused rather than wrapped around.
    EXPECT_FALSE(SplitUrl("http://h:65616/x", host, port, path));
    EXPECT_EQ(port, 0);
    EXPECT_FALSE(SplitUrl("   ", host, port, path));
    EXPECT_TRUE(SplitUrl("http://h:65535", host, port, path));
    EXPECT_EQ(port, 65535);
}

TEST(Version, ParsesThreePartsLikeTheirLeadingNumbers)
{
    auto v = ParseVersion("1..2.x3.4");
    EXPECT_EQ(v.nMajor, 1);
    EXPECT_EQ(v.nMinor, 2);
    EXPECT_EQ(v.nThird, 0);
    v = ParseVersion(" 7b");
    EXPECT_EQ(v.nMajor, 7);
    EXPECT_EQ(v.nMinor, -1);
    EXPECT_EQ(v.nThird, -1);
    EXPECT_EQ(ParseVersion("99999999999999999999").nMajor, 2147483647);
}

TEST(Version, NewerComparesPartByPartFromTheLeft)
{
    EXPECT_TRUE(IsNewerVersion("1.2.9", "1.3"));
    EXPECT_TRUE(IsNewerVersion("1.3", "1.3.0"));
    EXPECT_FALSE(IsNewerVersion("2.0", "1.9.9"));
    EXPECT_FALSE(IsNewerVersion("1.2.3", "1.2.3.4"));
    EXPECT_FALSE(IsNewerVersion("1.2.3", "1.2.3"));
    EXPECT_TRUE(IsNewerVersion("1.9.9", "2"));
    EXPECT_FALSE(IsNewerVersion("1.10", "1.9"));
    EXPECT_TRUE(IsNewerVersion("", "0"));
}

TEST(Version, AcceptableAddressesAndSetupName)
{
    EXPECT_TRUE(IsAcceptableDownloadAddress("http://h/s.exe"));
    EXPECT_FALSE(IsAcceptableDownloadAddress("HTTP://h/s.exe"));
    EXPECT_FALSE(IsAcceptableDownloadAddress("http://h/s.EXE"));
    EXPECT_FALSE(IsAcceptableDownloadAddress("ftp://h/s.exe"));
    EXPECT_FALSE(IsAcceptableDownloadAddress("http"));
    EXPECT_EQ(SetupFileName("Vistrel"), "Vistrel-update.exe");
    EXPECT_EQ(SetupFileName("../x"), ".._x-update.exe");
}

TEST(UpdaterTexts, NewVersionAndByteCounts)
{
    EXPECT_EQ(NewVersionText("Vistrel", "1.2", "1.3", "Faster."),
              "A new version of Vistrel was found!\r\n\r\nInstalled Version: 1.2, New Version: "
              "1.3\r\n\r\nWhat's New: Faster.\r\n\r\nClick the Update button to download and "
              "install the new version.");
    EXPECT_EQ(NewVersionText("V", "1", "2", ""),
              "A new version of V was found!\r\n\r\nInstalled Version: 1, New Version: 2\r\n\r\n"
              "Click the Update button to download and install the new version.");
    EXPECT_EQ(BytesCopiedText(512, 2048), "512 of 2048 bytes copied");
}
