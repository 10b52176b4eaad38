#include "TargetServers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <pwd.h>

namespace vistrel::test {

int run(const std::string& command, std::string* out)
{
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        text.append(buf, n);
    const int status = ::pclose(pipe);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SshServer::SshServer()
{
    const std::string root = binaryDir() + "/sshd";
    const std::string sshd = root + "/usr/sbin/sshd";
    if (!fileExists(root + "/.unpacked")) {
        m_why = "sshd is missing from " + root + ": run scripts/test-setup.d/sshd.sh " +
                binaryDir() + " (scripts/test.sh does)";
        return;
    }
    const bool asRoot = ::geteuid() == 0;
    struct passwd* me = asRoot ? ::getpwnam("vistrel-sftp") : ::getpwuid(::geteuid());
    if (!me) {
        m_why = "the log-on user vistrel-sftp is missing: run scripts/test-setup.d/sshd.sh as root";
        return;
    }
    m_user = me->pw_name;
    m_bPassword = asRoot;
    if (asRoot) {
        m_password = readFile(binaryDir() + "/sshd-password");
        while (!m_password.empty() && m_password.back() == '\n')
            m_password.pop_back();
        if (m_password.empty()) {
            m_why = "the password of vistrel-sftp is missing: run scripts/test-setup.d/sshd.sh " +
                    binaryDir() + " as root";
            return;
        }
    }
    const std::string& d = m_dir.path();
    ::chmod(d.c_str(), 0755);
    std::string out;
    if (run("ssh-keygen -q -t ed25519 -N '' -f " + d + "/hostkey", &out) != 0 ||
        run("ssh-keygen -q -t ed25519 -N '" + std::string(kKeyPassphrase) + "' -f " + d +
                "/userkey",
            &out) != 0 ||
        run("cp " + d + "/userkey.pub " + d + "/authorized_keys", &out) != 0 ||
        run("ssh-keygen -lf " + d + "/hostkey.pub", &out) != 0) {
        m_why = "ssh-keygen failed: " + out;
        return;
    }
    m_fingerprint = out.substr(out.find("SHA256:"));
    m_fingerprint = m_fingerprint.substr(0, m_fingerprint.find(' '));
    ::mkdir(files().c_str(), 0755);
    if (asRoot)
        (void)!::chown(files().c_str(), me->pw_uid, me->pw_gid);

    m_port = freeLoopbackPort();
    writeFile(
        d + "/sshd_config",
        "Port " + std::to_string(m_port) + "\nListenAddress 127.0.0.1\nHostKey " + d +
            "/hostkey\nPidFile " + d + "/sshd.pid\nAuthorizedKeysFile " + d +
            "/authorized_keys\nStrictModes no\nUsePAM no\n"
            "PasswordAuthentication " +
            (asRoot ? "yes" : "no") +
            "\nKbdInteractiveAuthentication no\n"
            "Subsystem sftp internal-sftp\nForceCommand internal-sftp\nDisableForwarding yes\n");
    const std::string pub = readFile(d + "/hostkey.pub");
    writeFile(knownHosts(), "[127.0.0.1]:" + std::to_string(m_port) + " " + pub);
    if (!m_sshd.start({sshd, "-D", "-f", d + "/sshd_config", "-E", d + "/sshd.log"},
                      d + "/sshd.out",
                      {"LD_LIBRARY_PATH=" + root + "/lib/x86_64-linux-gnu:" + root +
                       "/usr/lib/x86_64-linux-gnu"}) ||
        !m_sshd.waitForPort(m_port)) {
        m_why = "sshd did not start: " + readFile(d + "/sshd.out") + log();
    }
}

WebDavServer::WebDavServer(const std::string& certFile, const std::string& keyFile)
{
    ::mkdir(files().c_str(), 0755);
    const int port = freeLoopbackPort();
    std::vector<std::string> argv = {
        "rclone", "serve", "webdav", files(),   "--addr",   "127.0.0.1:" + std::to_string(port),
        "--user", "cam",   "--pass", kPassword, "--config", m_dir.file("rclone.conf")};
    if (!certFile.empty())
        argv.insert(argv.end(), {"--cert", certFile, "--key", keyFile});
    m_url = (certFile.empty() ? "http" : "https") + std::string("://127.0.0.1:") +
            std::to_string(port) + "/";
    if (!m_server.start(argv, m_dir.file("rclone.log")) || !m_server.waitForPort(port))
        m_why = "rclone serve webdav did not start (scripts/bootstrap.sh --tests installs "
                "rclone): " +
                log();
}

S3Server::S3Server()
{
    ::mkdir(m_dir.file(kBucket).c_str(), 0755);
    const std::string portFile = m_dir.file("port");
    if (!m_server.start({"/usr/bin/python3", sourceDir() + "/tests/targets/servers/s3_endpoint.py",
                         portFile, m_dir.path(), kAccessKey, kSecret, kRegion},
                        m_dir.file("server.log")) ||
        !waitUntil([&] { return fileExists(portFile); }, 10000)) {
        m_why = "the S3 endpoint did not start (scripts/bootstrap.sh --tests installs "
                "python3-botocore): " +
                readFile(m_dir.file("server.log"));
        return;
    }
    m_port = std::stoi(readFile(portFile));
}

} // namespace vistrel::test
