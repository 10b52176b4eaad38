// SFTP sessions from the upload-target module against OpenSSH's sshd on loopback.
#include "TargetServers.h"
#include "upload/TargetLoader.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

using namespace vistrel;

namespace {

// A port that takes connections and never says a word (the kernel completes the handshake).
struct SilentPort {
    int fd = -1;
    int port = 0;
    SilentPort()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 8);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~SilentPort() { ::close(fd); }
};

class SftpTarget : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = new test::SshServer; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->ok()) << server->why(); }

    TargetSettings settings(bool byKey) const
    {
        TargetSettings t;
        t.kind = TargetKind::Sftp;
        t.server = "127.0.0.1";
        t.port = server->port();
        t.username = server->user();
        t.directory = server->files();
        t.timeoutSeconds = 10;
        t.knownHosts = server->knownHosts();
        if (byKey) {
            t.keyFile = server->keyFile();
            t.keyPassphrase = test::SshServer::kKeyPassphrase;
        } else {
            t.password = server->password();
        }
        return t;
    }
    std::unique_ptr<TargetSession> open(const TargetSettings& t)
    {
        std::string why;
        auto session = MakeTargetSession(t, &why);
        EXPECT_TRUE(session) << why;
        return session;
    }
    std::string remote(const std::string& name) const { return server->files() + "/" + name; }

    static test::SshServer* server;
    test::TempDir local;
};

test::SshServer* SftpTarget::server = nullptr;

// The steps of a cycle, logged on by key (with its passphrase) and by password: the temporary
// name, the rename over the picture already there, the archive's renames (a missing slot is no
// failure) and deletes.
TEST_F(SftpTarget, EveryStepOfACycleByKeyAndByPassword)
{
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "key" : "password");
        if (!byKey && !server->passwordLogOn())
            continue; // sshd run by a user other than root cannot check passwords
        const std::string picture = local.file("pic.jpg");
        test::writeFile(picture, std::string(300000, 'p') + (byKey ? "K" : "P"));
        test::writeFile(remote("live.jpg"), "old picture");
        ::chmod(remote("live.jpg").c_str(), 0666);

        auto s = open(settings(byKey));
        ASSERT_TRUE(s);
        ASSERT_TRUE(s->Open()) << s->Message() << server->log();
        ASSERT_TRUE(s->RenameTolerant("live.jpg", "live01.jpg")) << s->Message();
        EXPECT_TRUE(s->RenameTolerant("live02.jpg", "live03.jpg")) << s->Message();
        ASSERT_TRUE(s->Store(picture, "live.tmp")) << s->Message();
        test::writeFile(remote("live.jpg"), "a picture in the way");
        ASSERT_TRUE(s->Rename("live.tmp", "live.jpg")) << s->Message();
        EXPECT_EQ(test::readFile(remote("live.jpg")), test::readFile(picture));
        EXPECT_EQ(test::readFile(remote("live01.jpg")), "old picture");
        EXPECT_FALSE(test::fileExists(remote("live.tmp")));
        EXPECT_FALSE(test::fileExists(remote("live03.jpg")));
        EXPECT_TRUE(s->DeleteFile("live01.jpg")) << s->Message();
        EXPECT_TRUE(s->DeleteFile("never-there.jpg")) << s->Message();
        EXPECT_FALSE(test::fileExists(remote("live01.jpg")));
        // A rename the server refuses fails with its reason.
        EXPECT_FALSE(s->Rename("live.jpg", "no-such-folder/live.jpg"));
        EXPECT_FALSE(s->Message().empty());
        ::unlink(remote("live.jpg").c_str());
    }
}

// An unknown or changed host key is refused before logging on, and the message shows the key
// the server offered, so the user can check it and pin it.
TEST_F(SftpTarget, UnknownOrChangedHostKeyIsRefusedWithItsFingerprint)
{
    std::string otherKey;
    ASSERT_EQ(test::run("ssh-keygen -q -t ed25519 -N '' -f " + local.file("other") + " && cat " +
                            local.file("other.pub"),
                        &otherKey),
              0);
    const std::string hostEntry = "[127.0.0.1]:" + std::to_string(server->port()) + " ";
    struct Case {
        const char* name;
        std::string pin;
        std::string knownHosts; // the file's content
        const char* says;
    } cases[] = {
        {"wrong pin", "SHA256:" + std::string(43, 'A'), "", "is not the pinned one"},
        {"not in the file", "", "", "is unknown"},
        {"changed", "", hostEntry + otherKey, "differs"},
        {"no file", "", "(none)", "is unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TargetSettings t = settings(true);
        t.hostKey = c.pin;
        t.knownHosts = local.file("known_hosts");
        ::unlink(t.knownHosts.c_str());
        if (c.knownHosts != "(none)")
            test::writeFile(t.knownHosts, c.knownHosts);
        auto s = open(t);
        ASSERT_TRUE(s);
        EXPECT_FALSE(s->Open());
        EXPECT_NE(s->Message().find(server->fingerprint()), std::string::npos) << s->Message();
        EXPECT_NE(s->Message().find(c.says), std::string::npos) << s->Message();
        EXPECT_NE(s->Message().find("refused"), std::string::npos) << s->Message();
    }
    // The right pin logs on, whatever the known-hosts file says.
    TargetSettings t = settings(true);
    t.hostKey = server->fingerprint();
    t.knownHosts = local.file("missing");
    auto s = open(t);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->Open()) << s->Message();
}

// A server that takes the connection and never answers: the time-out ends the log-on, and
// shutting down ends it much sooner.
TEST_F(SftpTarget, StalledServerTimesOutAndShutdownCancels)
{
    SilentPort silent;
    using Clock = std::chrono::steady_clock;
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "timed out");
        TargetSettings t = settings(true);
        t.port = silent.port;
        t.timeoutSeconds = cancel ? 60 : 2;
        const auto start = Clock::now();
        t.cancelled = [&] {
            return cancel && Clock::now() - start > std::chrono::milliseconds(300);
        };
        auto s = open(t);
        ASSERT_TRUE(s);
        EXPECT_FALSE(s->Open());
        const auto took = Clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(cancel ? 3 : 8)) << s->Message();
        if (!cancel) {
            EXPECT_GE(took, std::chrono::milliseconds(1900));
        }
        EXPECT_FALSE(s->Message().empty());
    }
}

} // namespace
