#include "updater/PadFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

std::string Pad(const std::string& programInfo, const std::string& webInfo)
{
    return "<XML_DIZ_INFO><Program_Info>" + programInfo + "</Program_Info><Web_Info>" + webInfo +
           "</Web_Info></XML_DIZ_INFO>";
}

std::string Downloads(const std::string& inner)
{
    return "<Download_URLs>" + inner + "</Download_URLs>";
}

std::string Address(const std::string& downloads)
{
    RemotePadInfo info;
    ReadRemotePad(Pad("<Program_Version>2</Program_Version>", Downloads(downloads)), "P", info);
    return info.strDownloadAddress;
}

} // namespace

TEST(PadFile, PublisherFileWithCrLfDeclarationCommentsAndCdataReads)
{
    std::string xml;
    ASSERT_TRUE(ReadPadFile(test::sourceDir() + "/tests/updater/data/vistrel_pad.xml", xml));
    EXPECT_EQ(xml.find('\n'), std::string::npos);
    EXPECT_EQ(xml.find('\r'), std::string::npos);

    LocalPadInfo local;
    ASSERT_TRUE(ReadLocalPad(xml, local));
    EXPECT_EQ(local.strProgramName, "Vistrel");
    EXPECT_EQ(local.strVersion, "1.2.9");
    EXPECT_EQ(local.strPadAddress, "http://pad.example.invalid:8080/pad/vistrel.xml?x=1");

    RemotePadInfo remote;
    ASSERT_TRUE(ReadRemotePad(xml, "Vistrel", remote));
    EXPECT_EQ(remote.strVersion, "1.2.9");
    // The two lines of the change text run together without a line break.
    EXPECT_EQ(remote.strWhatsNew, "Faster uploads. Fixed the banner & logo.");
    EXPECT_EQ(remote.strDownloadAddress, "http://mirror.example.invalid/vistrel-setup.exe");
}

TEST(PadFile, ReadingJoinsLinesAndFailsForMissingFile)
{
    test::TempDir dir;
    test::writeFile(dir.file("a.xml"), "<a>one\ntwo\r\nthree</a>\n");
    std::string xml;
    ASSERT_TRUE(ReadPadFile(dir.file("a.xml"), xml));
    EXPECT_EQ(xml, "<a>onetwothree</a>");
    EXPECT_FALSE(ReadPadFile(dir.file("missing.xml"), xml));
    // Up to 1 MB is read; a larger file is refused rather than held in memory.
    test::writeFile(dir.file("big.xml"), std::string(kMaxPadFileSize, 'x'));
    EXPECT_TRUE(ReadPadFile(dir.file("big.xml"), xml));
    test::writeFile(dir.file("big.xml"), std::string(kMaxPadFileSize + 1, 'x'));
    EXPECT_FALSE(ReadPadFile(dir.file("big.xml"), xml));
}

TEST(PadFile, LocalPadNeedsAllThreeTexts)
{
    const std::string web =
        "<Application_URLs><Application_XML_File_URL>http://h/p.xml</Application_XML_File_URL>"
        "</Application_URLs>";
    const std::string program =
        "<Program_Name>P</Program_Name><Program_Version>1</Program_Version>";
    LocalPadInfo info;
    EXPECT_TRUE(ReadLocalPad(Pad(program, web), info));
    EXPECT_FALSE(ReadLocalPad(Pad("<Program_Name>P</Program_Name>", web), info));
    EXPECT_FALSE(ReadLocalPad(Pad(program, "<Application_URLs/>"), info));
    EXPECT_FALSE(ReadLocalPad(Pad(program, web).substr(5), info)); // malformed
    // Web_Info is still read when Program_Info is missing (and the read then fails for the name).
    EXPECT_FALSE(
        ReadLocalPad("<XML_DIZ_INFO><Web_Info>" + web + "</Web_Info></XML_DIZ_INFO>", info));
    EXPECT_EQ(info.strPadAddress, "http://h/p.xml");
    // Elements are sought in order: a version before the name is not found.
    EXPECT_FALSE(ReadLocalPad(
        Pad("<Program_Version>1</Program_Version><Program_Name>P</Program_Name>", web), info));
    EXPECT_EQ(info.strProgramName, "P");
    EXPECT_EQ(info.strVersion, "");
}

TEST(PadFile, RemotePadOfAnotherProgramFails)
{
    const std::string web =
        Downloads("<Primary_Download_URL>http://h/s.exe</Primary_Download_URL>");
    RemotePadInfo info;
    EXPECT_TRUE(ReadRemotePad(Pad("<Program_Version>2</Program_Version>", web), "P", info));
    EXPECT_TRUE(ReadRemotePad(
        Pad("<Program_Name>P</Program_Name><Program_Version>2</Program_Version>", web), "P", info));
    EXPECT_FALSE(ReadRemotePad(
        Pad("<Program_Name>p</Program_Name><Program_Version>2</Program_Version>", web), "P", info));
    EXPECT_FALSE(ReadRemotePad(Pad("<Program_Name>P</Program_Name>", web), "P", info));
    EXPECT_FALSE(ReadRemotePad(Pad("<Program_Version>2</Program_Version>", ""), "P", info));
    EXPECT_FALSE(ReadRemotePad("not xml", "P", info));
}

TEST(PadFile, DownloadAddressChain)
{
    // An ftp address is kept when no secondary address follows.
    EXPECT_EQ(Address("<Primary_Download_URL>ftp://h/s.exe</Primary_Download_URL>"),
              "ftp://h/s.exe");
    EXPECT_EQ(Address("<Primary_Download_URL>http://h/s.zip</Primary_Download_URL>"
                      "<Secondary_Download_URL>http://m/s.exe</Secondary_Download_URL>"),
              "http://m/s.exe");
    // Capitals do not pass the test, so the chain goes on.
    EXPECT_EQ(Address("<Primary_Download_URL>HTTP://h/s.exe</Primary_Download_URL>"
                      "<Secondary_Download_URL>http://h/s.EXE</Secondary_Download_URL>"
                      "<Additional_Download_URL_1>http://a/1.exe</Additional_Download_URL_1>"),
              "http://a/1.exe");
    // The chain stops at the first missing element with the last address read.
    EXPECT_EQ(Address("<Primary_Download_URL>http://h/s.zip</Primary_Download_URL>"
                      "<Additional_Download_URL_1>http://a/1.exe</Additional_Download_URL_1>"),
              "http://h/s.zip");
    // All four there and none acceptable: no address.
    EXPECT_EQ(Address("<Primary_Download_URL>http://h/1.zip</Primary_Download_URL>"
                      "<Secondary_Download_URL>http://h/2.zip</Secondary_Download_URL>"
                      "<Additional_Download_URL_1>http://h/3.zip</Additional_Download_URL_1>"
                      "<Additional_Download_URL_2>http://h/4.zip</Additional_Download_URL_2>"),
              "");
    EXPECT_EQ(Address("<Secondary_Download_URL>http://m/s.exe</Secondary_Download_URL>"), "");
}
