#include "RealFtpServers.h"

#include <crypt.h>
#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vistrel::test {

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

bool asRoot()
{
    return ::geteuid() == 0;
}

// The account the daemons run as.
std::string serviceUser()
{
    if (asRoot())
        return "nobody";
    const passwd* pw = ::getpwuid(::getuid());
    return pw ? pw->pw_name : std::to_string(::getuid());
}

std::string serviceGroup()
{
    if (asRoot())
        return "nogroup";
    const group* gr = ::getgrgid(::getgid());
    return gr ? gr->gr_name : std::to_string(::getgid());
}

uid_t serviceUid()
{
    return asRoot() ? kNobody : ::getuid();
}

gid_t serviceGid()
{
    return asRoot() ? kNogroup : ::getgid();
}

std::vector<std::string> asServiceUser(std::vector<std::string> argv)
{
    if (asRoot())
        argv.insert(argv.begin(),
                    {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    return argv;
}

std::string passwdLine(const std::string& user, const std::string& password,
                       const std::string& home)
{
    const char* hash = ::crypt(password.c_str(), "$6$vistreltest$");
    return user + ":" + (hash ? hash : "*") + ":" + std::to_string(serviceUid()) + ":" +
           std::to_string(serviceGid()) + "::" + home + ":/bin/false\n";
}

std::vector<std::string> daemonEnv()
{
    std::string why;
    const std::string dir = ftpDaemonsDir(&why);
    return {"LD_LIBRARY_PATH=" + dir + "/usr/lib/x86_64-linux-gnu:" + dir +
            "/lib/x86_64-linux-gnu"};
}

// Settings every proftpd of the fixtures shares.
std::string proftpdCommon(const std::string& dir, const std::string& daemons)
{
    return "ServerType standalone\n"
           "DefaultAddress 127.0.0.1\n"
           "SocketBindTight on\n"
           "UseIPv6 off\n"
           "ModulePath " +
           daemons +
           "/usr/lib/proftpd\n"
           "User " +
           serviceUser() +
           "\n"
           "Group " +
           serviceGroup() +
           "\n"
           "PidFile " +
           dir +
           "/proftpd.pid\n"
           "ScoreboardFile " +
           dir +
           "/proftpd.scoreboard\n"
           "ControlsEngine off\n"
           "DelayTable none\n"
           "WtmpLog off\n"
           "UseReverseDNS off\n"
           "SystemLog " +
           dir +
           "/proftpd.log\n"
           "AuthOrder mod_auth_file.c\n"
           "AuthUserFile " +
           dir +
           "/passwd\n"
           "RequireValidShell off\n";
}

// Whether every folder from / down to path lets other users through.
bool reachableByOthers(const std::string& path)
{
    for (fs::path p = fs::absolute(path); !p.empty(); p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0)
            return false;
        if (p == p.root_path())
            break;
    }
    return true;
}

std::string g_daemonsCopy;

std::string copyForNobody(const std::string& dir)
{
    char pattern[] = "/tmp/vistrel-ftp-daemons-XXXXXX";
    if (!::mkdtemp(pattern))
        return {};
    g_daemonsCopy = pattern;
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_daemonsCopy, ec);
    });
    std::error_code ec;
    ::chmod(pattern, 0755);
    for (const char* part : {"/usr/sbin", "/usr/lib", "/lib"}) {
        if (fs::exists(dir + part)) {
            fs::create_directories(g_daemonsCopy + part, ec);
            fs::copy(dir + part, g_daemonsCopy + part,
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
        }
    }
    return ec ? std::string() : g_daemonsCopy;
}

} // namespace

std::string ftpDaemonsDir(std::string* why)
{
    const std::string dir = binaryDir() + "/ftp-daemons";
    if (!fs::exists(dir + "/.unpacked")) {
        if (why)
            *why = "The FTP daemons are missing from " + dir +
                   ": run scripts/test-setup.d/ftp-daemons.sh " + binaryDir() +
                   " (scripts/test.sh does)";
        return {};
    }
    if (!asRoot() || reachableByOthers(dir))
        return dir;
    // The daemons run as nobody, who cannot reach a build tree inside a private folder (such as
    // /root): this process uses a copy it can reach, removed at exit.
    static const std::string copy = copyForNobody(dir);
    if (copy.empty() && why)
        *why = "Cannot copy the FTP daemons out of " + dir + " for user nobody";
    return copy;
}

RealFtpServer::RealFtpServer()
{
    fs::create_directories(root());
}

void RealFtpServer::handOver()
{
    if (!asRoot())
        return;
    std::error_code ec;
    ::chown(m_dir.path().c_str(), kNobody, kNogroup);
    for (auto it = fs::recursive_directory_iterator(m_dir.path(), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        ::lchown(it->path().c_str(), kNobody, kNogroup);
}

std::string RealFtpServer::logs() const
{
    std::string out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(m_dir.path(), ec)) {
        const std::string name = e.path().filename().string();
        if (name == "server.out" || e.path().extension() == ".log")
            out += "--- " + name + "\n" + readFile(e.path().string());
    }
    return out;
}

void RealFtpServer::copyTlsFiles()
{
    if (!m_tls)
        return;
    writeFile(m_dir.file("tls.pem"), readFile(m_tls->certFile));
    writeFile(m_dir.file("tls.key"), readFile(m_tls->keyFile));
    fs::permissions(m_dir.file("tls.key"), fs::perms::owner_read | fs::perms::owner_write);
}

bool RealFtpServer::launch(int portCount, const std::vector<std::string>& env)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<int> ports;
        for (int i = 0; i < portCount; ++i)
            ports.push_back(freeLoopbackPort());
        const std::vector<std::string> argv = commandFor(ports);
        handOver();
        const std::string log = m_dir.file("server.out");
        if (!m_proc.start(argv, log, env)) {
            m_error = "cannot start " + argv.front();
            return false;
        }
        bool up = true;
        for (int p : ports)
            up = up && m_proc.waitForPort(p, 8000, m_bIpv6);
        if (up) {
            m_ports = ports;
            m_port = ports.front();
            return true;
        }
        m_proc.stop();
        m_error = "server did not come up: " + readFile(log) + readFile(m_dir.file("proftpd.log"));
    }
    return false;
}

bool PyFtpdServer::start(const std::string& user, const std::string& password)
{
    m_user = user;
    m_password = password;
    return launch(1, {});
}

void PyFtpdServer::addAccount(const std::string& user, const std::string& password,
                              const std::string& permissions)
{
    m_extraAccounts.insert(m_extraAccounts.end(), {user, password, permissions});
}

std::vector<std::string> PyFtpdServer::commandFor(const std::vector<int>& ports)
{
    // Debian's python3: another python3 first on PATH may lack the module.
    std::vector<std::string> argv = {"/usr/bin/python3",
                                     sourceDir() + "/tests/ftp/servers/pyftpd_server.py",
                                     std::to_string(ports[0]),
                                     root(),
                                     m_user,
                                     m_password};
    for (std::size_t i = 0; i + 2 < m_extraAccounts.size(); i += 3)
        argv.insert(argv.end(), {"--account", m_extraAccounts[i], m_extraAccounts[i + 1],
                                 m_extraAccounts[i + 2]});
    if (m_bIpv6)
        argv.insert(argv.end(), {"--host", "::1"});
    if (m_tls) {
        copyTlsFiles();
        argv.insert(argv.end(), {"--tls", m_tls->implicit ? "implicit" : "explicit", "--cert",
                                 m_dir.file("tls.pem"), "--key", m_dir.file("tls.key")});
        if (m_tls->required)
            argv.push_back("--tls-required");
    }
    return argv;
}

bool ProFtpdServer::start(const std::string& user, const std::string& password)
{
    m_user = user;
    m_password = password;
    if (ftpDaemonsDir(&m_error).empty())
        return false;
    return launch(1, daemonEnv());
}

// mod_tls with the fixture's certificate. Data connections must resume the control connection's
// TLS session (mod_tls's default).
std::string ProFtpdServer::proftpdTls(const std::string& dir)
{
    if (!m_tls)
        return {};
    copyTlsFiles();
    return "LoadModule mod_tls.c\n"
           "TLSEngine on\n"
           "TLSLog " +
           dir +
           "/tls.log\n"
           "TLSProtocol TLSv1.2 TLSv1.3\n"
           "TLSRSACertificateFile " +
           dir +
           "/tls.pem\n"
           "TLSRSACertificateKeyFile " +
           dir + "/tls.key\n" + (m_tls->required ? "TLSRequired on\n" : "TLSRequired off\n") +
           (m_tls->implicit ? "TLSOptions UseImplicitSSL\n" : "");
}

std::vector<std::string> ProFtpdServer::commandFor(const std::vector<int>& ports)
{
    const std::string daemons = ftpDaemonsDir(nullptr);
    const std::string dir = m_dir.path();
    writeFile(dir + "/passwd", passwdLine(m_user, m_password, root()));
    fs::permissions(dir + "/passwd", fs::perms::owner_read | fs::perms::owner_write);
    writeFile(dir + "/proftpd.conf", proftpdCommon(dir, daemons) +
                                         "ServerName \"test proftpd\"\n"
                                         "DefaultServer on\n"
                                         "Port " +
                                         std::to_string(ports[0]) +
                                         "\n"
                                         "AllowOverwrite on\n"
                                         "Umask 022\n" +
                                         proftpdTls(dir));
    return asServiceUser({daemons + "/usr/sbin/proftpd", "-n", "-q", "-c", dir + "/proftpd.conf"});
}

bool VsFtpdServer::start()
{
    if (ftpDaemonsDir(&m_error).empty())
        return false;
    fs::create_directories(root() + "/pub");
    fs::create_directories(m_dir.file("empty"));
    return launch(1, daemonEnv());
}

std::string VsFtpdServer::vsftpdTls(const std::string& dir)
{
    if (!m_tls)
        return {};
    copyTlsFiles();
    const std::string force = m_tls->required ? "YES" : "NO";
    return "ssl_enable=YES\n"
           "allow_anon_ssl=YES\n"
           "force_anon_logins_ssl=" +
           force +
           "\n"
           "force_anon_data_ssl=" +
           force +
           "\n"
           "require_ssl_reuse=YES\n"
           "ssl_ciphers=HIGH\n"
           "debug_ssl=YES\n"
           "rsa_cert_file=" +
           dir +
           "/tls.pem\n"
           "rsa_private_key_file=" +
           dir + "/tls.key\n" + (m_tls->implicit ? "implicit_ssl=YES\n" : "");
}

std::vector<std::string> VsFtpdServer::commandFor(const std::vector<int>& ports)
{
    const std::string dir = m_dir.path();
    // vsftpd refuses an anonymous root it could write to.
    fs::permissions(root(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    writeFile(dir + "/vsftpd.conf", "listen=YES\n"
                                    "listen_address=127.0.0.1\n"
                                    "listen_port=" +
                                        std::to_string(ports[0]) +
                                        "\n"
                                        "run_as_launching_user=YES\n"
                                        "background=NO\n"
                                        "local_enable=NO\n"
                                        "anonymous_enable=YES\n"
                                        "no_anon_password=YES\n"
                                        "anon_root=" +
                                        root() +
                                        "\n"
                                        "write_enable=YES\n"
                                        "anon_upload_enable=YES\n"
                                        "anon_mkdir_write_enable=YES\n"
                                        "anon_other_write_enable=YES\n"
                                        "anon_umask=022\n"
                                        "pasv_enable=YES\n"
                                        "port_enable=YES\n"
                                        "connect_from_port_20=NO\n"
                                        "seccomp_sandbox=NO\n"
                                        "secure_chroot_dir=" +
                                        dir +
                                        "/empty\n"
                                        "log_ftp_protocol=YES\n"
                                        "vsftpd_log_file=" +
                                        dir +
                                        "/vsftpd.log\n"
                                        "ftp_username=" +
                                        serviceUser() + "\n" + vsftpdTls(dir));
    return asServiceUser({ftpDaemonsDir(nullptr) + "/usr/sbin/vsftpd", dir + "/vsftpd.conf"});
}

bool ProFtpdForwardProxy::start(const std::string& proxyUser, const std::string& proxyPassword)
{
    m_user = proxyUser;
    m_password = proxyPassword;
    if (ftpDaemonsDir(&m_error).empty())
        return false;
    return launch(3, daemonEnv());
}

std::vector<std::string> ProFtpdForwardProxy::commandFor(const std::vector<int>& ports)
{
    const std::string daemons = ftpDaemonsDir(nullptr);
    const std::string dir = m_dir.path();
    writeFile(dir + "/passwd", passwdLine(m_user, m_password, root()));
    fs::permissions(dir + "/passwd", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(dir + "/tables");
    static const char* methods[] = {"user@host", "proxyuser,user@host", "proxyuser@host,user"};
    // mod_proxy needs mod_tls loaded first (it uses its OpenSSL set-up); by default only private
    // networks may use a forward proxy, so loopback is enabled by a class.
    std::string conf = proftpdCommon(dir, daemons) +
                       "LoadModule mod_tls.c\n"
                       "LoadModule mod_proxy.c\n"
                       "ServerName \"test forward proxy\"\n"
                       "Port 0\n"
                       "ProxyTables " +
                       dir +
                       "/tables\n"
                       "ProxyLog " +
                       dir +
                       "/proxy.log\n"
                       "<Class loopback>\n  From 127.0.0.1\n  ProxyForwardEnabled on\n</Class>\n";
    for (int i = 0; i < 3; ++i) {
        conf += "<VirtualHost 127.0.0.1>\n"
                "  Port " +
                std::to_string(ports[static_cast<size_t>(i)]) +
                "\n"
                "  ProxyEngine on\n"
                "  ProxyRole forward\n"
                "  ProxyForwardMethod " +
                methods[i] +
                "\n"
                "  ProxyForwardTo ^127\\.0\\.0\\.1:[0-9]+$\n"
                "  AuthOrder mod_auth_file.c\n"
                "  AuthUserFile " +
                dir +
                "/passwd\n"
                "  RequireValidShell off\n"
                "  ProxyLog " +
                dir +
                "/proxy.log\n"
                "</VirtualHost>\n";
    }
    writeFile(dir + "/proftpd.conf", conf);
    return asServiceUser({daemons + "/usr/sbin/proftpd", "-n", "-q", "-c", dir + "/proftpd.conf"});
}

} // namespace vistrel::test
