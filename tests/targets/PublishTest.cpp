// vistreld as a user runs it, publishing by SFTP, WebDAV and S3 to real servers on loopback:
// --check-upload's verdicts, then cycles that publish and turn the archive.
#include "TargetServers.h"
#include "config/SettingsFile.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vistrel;
using namespace vistrel::test;

TEST(VistreldPublishes, ByEachTargetWithTheCheckAndTheArchive)
{
    SshServer ssh;
    WebDavServer dav;
    S3Server s3;
    ASSERT_TRUE(ssh.ok()) << ssh.why();
    ASSERT_TRUE(dav.ok()) << dav.why();
    ASSERT_TRUE(s3.ok()) << s3.why();
    struct Case {
        const char* target;
        const char* label;
        std::function<void()> configure;
        std::function<std::string(const std::string&)> published; // a name's file on the server
    } cases[] = {
        {"sftp", "SFTP",
         [&] {
             IniWriteString("UploadOptions", "FTPServer", "127.0.0.1");
             IniWriteInt("UploadOptions", "FTPPort", ssh.port());
             IniWriteString("UploadOptions", "FTPUsername", ssh.user());
             IniWriteString("UploadOptions", "FTPDirectory", ssh.files());
             IniWriteString("UploadOptions", "SFTPHostKey", ssh.fingerprint());
             IniWriteString("UploadOptions", "SFTPKeyFile", ssh.keyFile());
             IniWritePassword("UploadOptions", "SFTPKeyPassphrase", SshServer::kKeyPassphrase);
         },
         [&](const std::string& name) { return ssh.files() + "/" + name; }},
        {"webdav", "WebDAV",
         [&] {
             IniWriteString("UploadOptions", "WebDAVURL", dav.url());
             IniWriteString("UploadOptions", "FTPUsername", "cam");
             IniWritePassword("UploadOptions", "FTPPassword", WebDavServer::kPassword);
         },
         [&](const std::string& name) { return dav.files() + "/" + name; }},
        {"s3", "S3",
         [&] {
             IniWriteString("UploadOptions", "S3Endpoint", s3.endpoint());
             IniWriteString("UploadOptions", "S3Region", S3Server::kRegion);
             IniWriteString("UploadOptions", "S3Bucket", S3Server::kBucket);
             IniWriteString("UploadOptions", "S3AccessKey", S3Server::kAccessKey);
             IniWritePassword("UploadOptions", "S3Secret", S3Server::kSecret);
             IniWriteString("UploadOptions", "S3CacheControl", "no-cache");
             IniWriteString("UploadOptions", "FTPDirectory", "site");
         },
         [&](const std::string& name) { return s3.object("site/" + name); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        TempDir dir;
        std::filesystem::create_directories(dir.file("program"));
        const std::string ini = dir.file("cam.ini");
        SetSettingsFilePathForTesting(ini);
        IniWriteInt("License", "INIVersion", 1005);
        IniWriteInt("ConnectOptions", "UseLAN", 1);
        IniWriteString("Install", "Directory", dir.file("program"));
        IniWriteString("UploadOptions", "SaveAsFilename", dir.file("vistrel.jpg"));
        IniWriteInt("UploadOptions", "FTPUpload", 1);
        IniWriteString("UploadOptions", "UploadTarget", c.target);
        IniWriteString("UploadOptions", "FTPFilename", "live.jpg");
        IniWriteInt("UploadOptions", "FTPTimeOut", 10);
        IniWriteInt("UploadOptions", "ArchiveInterval", 1);
        IniWriteInt("UploadOptions", "NumberOfArchives", 2);
        c.configure();
        SetSettingsFilePathForTesting("");

        const auto vistreld = [&](const std::string& option, std::string* out) {
            ChildProcess p;
            const std::string log = dir.file("out.log");
            std::filesystem::remove(log);
            EXPECT_TRUE(p.start({binaryDir() + "/src/vistreld/vistreld", option, "--config", ini},
                                log,
                                {"XDG_CONFIG_HOME=" + dir.file("config"), "TMPDIR=" + dir.path(),
                                 "QT_QPA_PLATFORM=offscreen", "LC_ALL=C.UTF-8"}));
            const int status = p.wait(60000);
            *out = readFile(log);
            return status;
        };
        std::string out;
        EXPECT_EQ(vistreld("--check-upload", &out), 0) << out;
        for (const char* step :
             {"log on     ok", "store      ok", "archive    ok", "delete     ok"})
            EXPECT_NE(out.find(step), std::string::npos) << step << "\n" << out;
        EXPECT_NE(out.find(std::string(c.label) + " check passed"), std::string::npos) << out;

        s3.clearRequests();
        ASSERT_EQ(vistreld("--once", &out), 0) << out;
        const std::string first = readFile(c.published("live.jpg"));
        ASSERT_GT(first.size(), 100u) << out;
        EXPECT_EQ(static_cast<unsigned char>(first[0]), 0xFF); // a JPEG
        EXPECT_EQ(first, readFile(dir.file("vistrel.jpg")));
        ASSERT_EQ(vistreld("--once", &out), 0) << out;
        EXPECT_EQ(readFile(c.published("live01.jpg")), first);
        EXPECT_FALSE(fileExists(c.published("live.tmp")));
        EXPECT_NE(out.find(std::string("Closing ") + c.label + " Session..."), std::string::npos)
            << out;
    }
    // The requests of S3's two cycles: the archive's copies (slots not yet there are no
    // failure), then the picture in place.
    const std::string h = " cache-control=no-cache type=image/jpeg\n";
    EXPECT_EQ(s3.requests(), "PUT /cams/site/live02.jpg copy=/cams/site/live01.jpg" + h +
                                 "PUT /cams/site/live01.jpg copy=/cams/site/live.jpg" + h +
                                 "PUT /cams/site/live.jpg" + h +
                                 "PUT /cams/site/live02.jpg copy=/cams/site/live01.jpg" + h +
                                 "PUT /cams/site/live01.jpg copy=/cams/site/live.jpg" + h +
                                 "PUT /cams/site/live.jpg" + h);
}
