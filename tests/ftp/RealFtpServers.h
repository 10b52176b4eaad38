#pragma once

#include "ChildProcess.h"
#include "TestSupport.h"

#include <optional>
#include <string>
#include <vector>

namespace vistrel::test {

// Real FTP servers for the integration tests, each started on 127.0.0.1 with an ephemeral port and
// a private temporary root, and stopped with the object. pyftpdlib runs from Debian's python3;
// proftpd (with its forward proxy module) and vsftpd run from the private copy that
// scripts/test-setup.d/ftp-daemons.sh unpacks into the build tree. When the tests run as root the
// daemons are started as "nobody" (proftpd's forward proxy needs that, and no test daemon should
// run as root); otherwise as the user running the tests.
class RealFtpServer {
  public:
    RealFtpServer();
    virtual ~RealFtpServer() = default;
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    // TLS for the next start, with a certificate and key (copied into the server's folder):
    // explicit (AUTH TLS) unless implicit; required: log-ons and data connections without TLS
    // are refused. Call before start().
    struct TlsSetup {
        std::string certFile;
        std::string keyFile;
        bool implicit = false;
        bool required = true;
    };
    void useTls(const TlsSetup& tls) { m_tls = tls; }

    int port() const { return m_port; }
    // Why start() failed (with the server's own output).
    const std::string& error() const { return m_error; }
    // What the server wrote to its output and log files, for a failure message.
    std::string logs() const;
    // The folder behind the FTP root of the log-in.
    std::string root() const { return m_dir.file("root"); }

  protected:
    // Writes the configuration for the ports and starts the program; retries with fresh ports.
    bool launch(int portCount, const std::vector<std::string>& env);
    virtual std::vector<std::string> commandFor(const std::vector<int>& ports) = 0;
    // Gives the fixture's files to the user the daemon runs as.
    void handOver();
    // Copies the TLS certificate and key into the server's folder as tls.pem and tls.key.
    void copyTlsFiles();

    TempDir m_dir;
    std::optional<TlsSetup> m_tls;
    bool m_bIpv6 = false; // listens on ::1
    ChildProcess m_proc;
    int m_port = 0;
    std::vector<int> m_ports;
    std::string m_error;
};

// pyftpdlib with one user with full rights (TLS with python3-openssl), and any accounts added
// before start().
class PyFtpdServer : public RealFtpServer {
  public:
    // On ::1 instead of 127.0.0.1 (call before start()).
    void listenOnIpv6() { m_bIpv6 = true; }
    // Another account on the same root with pyftpdlib's permission letters ("elr": read-only,
    // "elradfmw" everything but site commands; without "f" it may not rename).
    void addAccount(const std::string& user, const std::string& password,
                    const std::string& permissions);
    bool start(const std::string& user, const std::string& password);

  private:
    std::vector<std::string> commandFor(const std::vector<int>& ports) override;
    std::string m_user, m_password;
    std::vector<std::string> m_extraAccounts;
};

// proftpd with one user from a private password file (TLS through mod_tls).
class ProFtpdServer : public RealFtpServer {
  public:
    bool start(const std::string& user, const std::string& password);

  private:
    std::vector<std::string> commandFor(const std::vector<int>& ports) override;
    std::string proftpdTls(const std::string& dir);
    std::string m_user, m_password;
};

// vsftpd with anonymous access (a user with a password needs root, PAM and a system account);
// the FTP root is read-only and "pub" is writable. With TLS, anonymous log-ons and data
// connections must use it, and data connections must resume the control connection's TLS
// session (require_ssl_reuse).
class VsFtpdServer : public RealFtpServer {
  public:
    bool start();

  private:
    std::vector<std::string> commandFor(const std::vector<int>& ports) override;
    std::string vsftpdTls(const std::string& dir);
};

// proftpd as an FTP forward proxy to 127.0.0.1 servers, one port per log-on method:
//   "USER user@host"                                   (log-on type 5)
//   "USER proxyuser", "PASS …", "USER user@host"       (log-on type 2)
//   "USER proxyuser@host", "PASS …", "USER user"       (log-on type 6)
class ProFtpdForwardProxy : public RealFtpServer {
  public:
    enum Method { UserAtHost = 0, ProxyUserThenUserAtHost = 1, ProxyUserAtHostThenUser = 2 };
    bool start(const std::string& proxyUser, const std::string& proxyPassword);
    int port(Method method) const { return m_ports.at(static_cast<size_t>(method)); }

  private:
    std::vector<std::string> commandFor(const std::vector<int>& ports) override;
    std::string m_user, m_password;
};

// The unpacked daemons, or an empty string with *why telling how to get them.
std::string ftpDaemonsDir(std::string* why);

} // namespace vistrel::test
