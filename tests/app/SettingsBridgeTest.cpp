// What a cycle's upload takes from the settings file: the other targets log on with the FTP
// fields, SFTP on its own port unless the file names one, and the known-hosts file of the user
// unless the file names another.

#include "app/SettingsBridge.h"
#include "TestSupport.h"
#include "config/LiveSettings.h"
#include "config/SettingsFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace vistrel::test {
namespace {

TEST(SettingsBridge, TargetsTakeTheFtpFieldsWithTheirOwnPortAndKnownHosts)
{
    struct Case {
        const char* target;
        std::optional<int> ftpPort; // missing from the file when empty
        std::optional<std::string> knownHosts;
        int wantFtpPort;
        int wantTargetPort;
        std::string wantKnownHosts;
    };
    const Case cases[] = {
        {"sftp", std::nullopt, std::nullopt, 21, 22, "/home/cam/.ssh/known_hosts"},
        {"sftp", 2222, std::nullopt, 2222, 2222, "/home/cam/.ssh/known_hosts"},
        {"sftp", 21, "/etc/vistrel/hosts", 21, 21, "/etc/vistrel/hosts"},
        {"ftp", std::nullopt, std::nullopt, 21, 22, "/home/cam/.ssh/known_hosts"},
        {"webdav", 8443, std::nullopt, 8443, 8443, "/home/cam/.ssh/known_hosts"},
    };
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", "/home/cam", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " port " +
                     (c.ftpPort ? std::to_string(*c.ftpPort) : "missing"));
        TempDir dir;
        SetSettingsFilePathForTesting(dir.file("cam.ini"));
        IniWriteString("UploadOptions", "UploadTarget", c.target);
        IniWriteString("UploadOptions", "FTPServer", "cams.example.org");
        IniWriteString("UploadOptions", "FTPUsername", "front");
        IniWriteString("UploadOptions", "FTPDirectory", "pictures/front");
        IniWriteInt("UploadOptions", "FTPTimeOut", 12);
        if (c.ftpPort)
            IniWriteInt("UploadOptions", "FTPPort", *c.ftpPort);
        if (c.knownHosts)
            IniWriteString("UploadOptions", "SFTPKnownHosts", *c.knownHosts);
        LiveSettings live;
        live.LoadFtp();
        const UploadSettings u = ToUploadSettings(live);
        EXPECT_EQ(u.ftp.port, c.wantFtpPort);
        EXPECT_EQ(u.target.port, c.wantTargetPort);
        EXPECT_EQ(u.target.knownHosts, c.wantKnownHosts);
        EXPECT_EQ(u.target.server, "cams.example.org");
        EXPECT_EQ(u.target.username, "front");
        EXPECT_EQ(u.target.directory, "pictures/front");
        EXPECT_EQ(u.target.timeoutSeconds, 12);
        SetSettingsFilePathForTesting("");
    }
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

} // namespace
} // namespace vistrel::test
