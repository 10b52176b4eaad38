#include "updater/HttpClient.h"

#include "HttpTestServer.h"
#include "TestCertificates.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

using namespace vistrel;

namespace {

// Everything in a folder, for checking that no temporary file was left behind.
std::vector<std::string> Listing(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Bytes(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i * 7 % 26);
    return s;
}

struct Progress {
    CHttpClient* client = nullptr;
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    int event = 0;
    static void Callback(int nEvent, void* user)
    {
        auto* self = static_cast<Progress*>(user);
        std::int64_t total = 0;
        const std::int64_t copied = self->client->GetProgress(&total);
        self->seen.emplace_back(copied, total);
        self->event = nEvent;
    }
};

std::string ErrorText(const CHttpClient& client)
{
    std::string text;
    client.GetErrorText(client.GetLastErrorCode(), text);
    return text;
}

} // namespace

class HttpClientTest : public ::testing::Test {
  protected:
    // One server for the suite: starting the interpreter takes most of a second.
    static void SetUpTestSuite() { s_server = new test::HttpTestServer; }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server.running()); }
    bool ConnectToServer() { return client.Connect("127.0.0.1", server.port(), 30, 1, 65536); }

    static test::HttpTestServer* s_server;
    test::HttpTestServer& server = *s_server;
    test::TempDir dir;
    CHttpClient client;
};

test::HttpTestServer* HttpClientTest::s_server = nullptr;

TEST_F(HttpClientTest, DownloadsWithProgressAndTheQueryString)
{
    const std::string body = Bytes(300000);
    server.put("setup.exe", body);
    ASSERT_TRUE(client.IsInitialized());
    EXPECT_EQ(client.GetConnection(), -1);
    ASSERT_TRUE(ConnectToServer()) << ErrorText(client);
    EXPECT_GT(client.GetConnection(), 0);

    Progress progress;
    progress.client = &client;
    client.SetCallback(128, &Progress::Callback, &progress);
    ASSERT_EQ(client.Download(dir.file("setup.exe"), "/slow/setup.exe?v=2&x=a b"), 0)
        << ErrorText(client);
    EXPECT_EQ(test::readFile(dir.file("setup.exe")), body);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"setup.exe"});
    EXPECT_NE(server.requests().find("/slow/setup.exe?v=2&x=a%20b\n"), std::string::npos);

    ASSERT_GE(progress.seen.size(), 2u);
    EXPECT_EQ(progress.event, 128);
    EXPECT_TRUE(std::is_sorted(progress.seen.begin(), progress.seen.end()));
    EXPECT_EQ(progress.seen.back(), std::make_pair(std::int64_t{300000}, std::int64_t{300000}));
    std::int64_t total = 0;
    EXPECT_EQ(client.GetProgress(&total), 300000);
    EXPECT_EQ(total, 300000);
}

TEST_F(HttpClientTest, UnreachableHostFailsWithTheLibraryMessage)
{
    const int closedPort = test::freeLoopbackPort();
    EXPECT_FALSE(client.Connect("127.0.0.1", closedPort, 30, 2, 65536));
    EXPECT_EQ(client.GetConnection(), -1);
    EXPECT_EQ(client.GetLastErrorCode(), 7); // could not connect
    const std::string text = ErrorText(client);
    EXPECT_NE(text.find("Failed to connect to 127.0.0.1 port " + std::to_string(closedPort)),
              std::string::npos)
        << text;
    EXPECT_LE(text.size(), 127u);
    // Without a connection nothing is fetched.
    EXPECT_EQ(client.Download(dir.file("x"), "/x"), -1);
    EXPECT_FALSE(test::fileExists(dir.file("x")));

    // Another code gets the library's general message.
    std::string text3;
    client.GetErrorText(3, text3);
    EXPECT_EQ(text3, "URL using bad/illegal format or missing URL");
}

TEST_F(HttpClientTest, HostNamesThatAreNotPlainAreRefused)
{
    for (const char* host : {"", "user@127.0.0.1", "127.0.0.1?x", "a b", "h\r\nX: y"}) {
        EXPECT_FALSE(client.Connect(host, server.port(), 30, 1, 65536)) << host;
        EXPECT_EQ(ErrorText(client), "URL using bad/illegal format or missing URL");
    }
    EXPECT_FALSE(client.Connect("127.0.0.1", 0, 30, 1, 65536));
}

TEST_F(HttpClientTest, ErrorStatusesAndRedirectsFailAndKeepTheOldFile)
{
    ASSERT_TRUE(ConnectToServer());
    test::writeFile(dir.file("update.xml"), "old");
    for (const int status : {404, 500, 301, 302, 204}) {
        EXPECT_EQ(client.Download(dir.file("update.xml"), "/status/" + std::to_string(status)),
                  status == 204 ? 0 : -1)
            << status;
        if (status == 204)
            break;
        EXPECT_EQ(client.GetLastErrorCode(), 22);
        EXPECT_EQ(ErrorText(client), "The requested URL returned error: " + std::to_string(status));
        EXPECT_EQ(test::readFile(dir.file("update.xml")), "old");
    }
    // 2xx succeeds, even with an empty body.
    EXPECT_EQ(test::readFile(dir.file("update.xml")), "");
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"update.xml"});
    EXPECT_EQ(client.Download(dir.file("missing.xml"), "/missing.xml"), -1);
    EXPECT_FALSE(test::fileExists(dir.file("missing.xml")));
}

TEST_F(HttpClientTest, TruncatedTransferLeavesNoFile)
{
    server.put("setup.exe", Bytes(100000));
    ASSERT_TRUE(ConnectToServer());
    EXPECT_EQ(client.Download(dir.file("setup.exe"), "/truncate/setup.exe"), -1);
    EXPECT_EQ(client.GetLastErrorCode(), 18); // partial file
    EXPECT_TRUE(Listing(dir.path()).empty());
}

TEST_F(HttpClientTest, AbandonedDownloadStopsAndRemovesItsPartialFile)
{
    server.put("setup.exe", Bytes(200000));
    ASSERT_TRUE(ConnectToServer());
    int result = 0;
    const auto start = std::chrono::steady_clock::now();
    std::thread worker(
        [&] { result = client.Download(dir.file("setup.exe"), "/stall/setup.exe"); });
    // Wait until half the file has arrived, then give up on it.
    while (client.GetProgress(nullptr) < 100000 &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(client.GetProgress(nullptr), 100000);
    ASSERT_EQ(Listing(dir.path()).size(), 1u);
    EXPECT_NE(Listing(dir.path())[0], "setup.exe");
    client.AbandonDownload();
    EXPECT_TRUE(Listing(dir.path()).empty());
    worker.join();
    EXPECT_EQ(result, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(Listing(dir.path()).empty());
    // An abandoned client fetches nothing more.
    server.put("small.txt", "x");
    EXPECT_EQ(client.Download(dir.file("small.txt"), "/small.txt"), -1);
    EXPECT_TRUE(Listing(dir.path()).empty());
}

// A size limit refuses a larger body whether or not its size is announced, and keeps the file
// that was there.
TEST_F(HttpClientTest, SizeLimitRefusesLargerBodiesAndKeepsTheOldFile)
{
    constexpr std::int64_t kLimit = 1 << 20;
    server.put("fits.xml", Bytes(kLimit));
    server.put("big.xml", Bytes(kLimit + 1));
    ASSERT_TRUE(ConnectToServer());
    for (const char* path : {"/fits.xml", "/nolength/fits.xml"}) {
        EXPECT_EQ(client.Download(dir.file("update.xml"), path, kLimit), 0) << path;
        EXPECT_EQ(test::readFile(dir.file("update.xml")).size(), static_cast<size_t>(kLimit));
    }
    test::writeFile(dir.file("update.xml"), "old");
    for (const char* path : {"/big.xml", "/nolength/big.xml"}) {
        EXPECT_EQ(client.Download(dir.file("update.xml"), path, kLimit), -1) << path;
        EXPECT_EQ(client.GetLastErrorCode(), CHttpClient::kTooLarge);
        EXPECT_EQ(ErrorText(client), "Refused: the file is larger than 1048576 bytes");
        EXPECT_EQ(test::readFile(dir.file("update.xml")), "old");
        EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"update.xml"});
    }
    // Without a limit the same body is fetched.
    EXPECT_EQ(client.Download(dir.file("update.xml"), "/nolength/big.xml"), 0);
    EXPECT_EQ(test::readFile(dir.file("update.xml")).size(), static_cast<size_t>(kLimit + 1));
}

// A transfer that stops moving ends soon after the time-out given to Connect, and leaves nothing.
TEST_F(HttpClientTest, StalledTransferEndsAtTheTimeOut)
{
    server.put("setup.exe", Bytes(200000));
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port(), 1, 1, 65536));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Download(dir.file("setup.exe"), "/stall/setup.exe"), -1);
    // The library judges the speed over the last few seconds, so a stall after a fast start
    // takes some seconds more than the time-out to show.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(client.GetLastErrorCode(), 28); // operation timed out
    EXPECT_NE(ErrorText(client).find("Operation too slow"), std::string::npos) << ErrorText(client);
    EXPECT_TRUE(Listing(dir.path()).empty());
}

TEST_F(HttpClientTest, UnwritableTargetFolderFails)
{
    server.put("a.txt", "a");
    ASSERT_TRUE(ConnectToServer());
    EXPECT_EQ(client.Download(dir.file("no/such/folder/a.txt"), "/a.txt"), -1);
    EXPECT_EQ(client.GetLastErrorCode(), 23); // write error
    EXPECT_NE(ErrorText(client).find("Unable to create"), std::string::npos);
}

// Over HTTPS the server's certificate must be proven by a known authority: one that is not is
// refused at the connection, before any request; the same server with its authority known
// serves the download.
TEST(HttpClientTls, HttpsDownloadsOnlyFromAProvenServer)
{
    const test::TestCertificates& certs = test::SharedTestCertificates();
    ASSERT_TRUE(certs.ok);
    test::HttpTestServer server(certs.trusted.certFile, certs.trusted.keyFile);
    ASSERT_TRUE(server.running());
    server.put("setup.exe", Bytes(5000));
    test::TempDir dir;

    CHttpClient client;
    client.SetSecure(true);
    client.SetCertificateAuthorities(certs.selfSigned.certFile); // not the server's authority
    EXPECT_FALSE(
        client.Connect("127.0.0.1", static_cast<std::uint16_t>(server.port()), 5, 1, 65536));
    EXPECT_NE(ErrorText(client).find("certificate"), std::string::npos) << ErrorText(client);
    EXPECT_EQ(server.requests(), "");

    client.SetCertificateAuthorities(certs.ca.certFile);
    ASSERT_TRUE(client.Connect("127.0.0.1", static_cast<std::uint16_t>(server.port()), 5, 1, 65536))
        << ErrorText(client);
    ASSERT_EQ(client.Download(dir.file("setup.exe"), "/setup.exe"), 0) << ErrorText(client);
    EXPECT_EQ(test::readFile(dir.file("setup.exe")), Bytes(5000));
    EXPECT_EQ(server.requests(), "/setup.exe\n");
}
