#pragma once

#include "ChildProcess.h"
#include "TestSupport.h"

#include <string>

namespace vistrel::test {

// Runs a shell command; returns its exit status, with its output in *out when given.
int run(const std::string& command, std::string* out = nullptr);

// OpenSSH's sshd from the build tree (scripts/test-setup.d/sshd.sh), on 127.0.0.1 and a free
// port, with a host key, a user key and a folder made for the run. As root the log-on user is
// vistrel-sftp (the password scripts/test-setup.d/sshd.sh copied into this build folder, and the
// user key); otherwise sshd can only serve the user running the tests, by key.
class SshServer {
  public:
    static constexpr const char* kKeyPassphrase = "key words";

    SshServer();
    bool ok() const { return m_why.empty(); }
    const std::string& why() const { return m_why; }

    int port() const { return m_port; }
    std::string user() const { return m_user; }
    bool passwordLogOn() const { return m_bPassword; }
    std::string password() const { return m_password; }
    std::string keyFile() const { return m_dir.file("userkey"); }
    std::string files() const { return m_dir.file("files"); } // the folder pictures go into
    std::string fingerprint() const { return m_fingerprint; } // "SHA256:…" of the host key
    std::string knownHosts() const { return m_dir.file("known_hosts"); }
    std::string log() const { return readFile(m_dir.file("sshd.log")); }

  private:
    TempDir m_dir;
    ChildProcess m_sshd;
    std::string m_why;
    std::string m_user;
    std::string m_fingerprint;
    std::string m_password;
    int m_port = 0;
    bool m_bPassword = false;
};

// rclone's WebDAV server on 127.0.0.1 and a free port, serving a folder of its own to the user
// "cam" with the password kPassword (basic authentication); over TLS with the given
// certificate when certFile is set.
class WebDavServer {
  public:
    static constexpr const char* kPassword = "dav pw";

    explicit WebDavServer(const std::string& certFile = {}, const std::string& keyFile = {});
    bool ok() const { return m_why.empty(); }
    const std::string& why() const { return m_why; }
    std::string url() const { return m_url; } // the folder, with its trailing '/'
    std::string files() const { return m_dir.file("files"); }
    std::string log() const { return readFile(m_dir.file("rclone.log")); }

  private:
    TempDir m_dir;
    ChildProcess m_server;
    std::string m_why;
    std::string m_url;
};

// The scripted S3 endpoint (servers/s3_endpoint.py) on 127.0.0.1 and a free port: it checks each
// request's signature with python3-botocore's signer for kAccessKey, kSecret and kRegion, keeps
// objects under root()/<bucket>/, and logs each request as a line of requests().
class S3Server {
  public:
    static constexpr const char* kAccessKey = "AKIDVISTRELTEST";
    static constexpr const char* kSecret = "s3 secret/with+signs";
    static constexpr const char* kRegion = "eu-test-1";
    static constexpr const char* kBucket = "cams";

    S3Server();
    bool ok() const { return m_why.empty(); }
    const std::string& why() const { return m_why; }
    int port() const { return m_port; }
    std::string endpoint() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string object(const std::string& key) const
    {
        return m_dir.file(std::string(kBucket) + "/" + key);
    }
    std::string requests() const { return readFile(m_dir.file("requests.log")); }
    void clearRequests() const { writeFile(m_dir.file("requests.log"), ""); }

  private:
    TempDir m_dir;
    ChildProcess m_server;
    std::string m_why;
    int m_port = 0;
};

} // namespace vistrel::test
