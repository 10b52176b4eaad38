#include "CameraServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace vistrel::test {

namespace {

// Waits for a server's port file; 0 when it did not appear in time or the server ended.
int waitForPortFile(const std::string& path, ChildProcess& process, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (fileExists(path)) {
            const int port = std::atoi(readFile(path).c_str());
            if (port > 0)
                return port;
        }
        if (process.wait(0) != -2) // it ended
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

std::string script(const std::string& name)
{
    return sourceDir() + "/tests/capture/servers/" + name;
}

} // namespace

bool HttpCameraServer::start(int port, std::string* log, const std::string& tlsCert,
                             const std::string& tlsKey)
{
    const std::string portFile = m_dir.file("port");
    ::unlink(portFile.c_str());
    // Debian's python3: another python3 first on PATH may lack PIL.
    std::vector<std::string> command = {"/usr/bin/python3",
                                        script("camera_server.py"),
                                        "--dir",
                                        m_dir.path(),
                                        "--port-file",
                                        portFile,
                                        "--port",
                                        std::to_string(port)};
    m_bTls = !tlsCert.empty();
    if (m_bTls)
        command.insert(command.end(), {"--tls-cert", tlsCert, "--tls-key", tlsKey});
    if (!m_process.start(command, m_dir.file("server.log")))
        return false;
    m_nPort = waitForPortFile(portFile, m_process, 10000);
    if (m_nPort == 0 && log)
        *log = readFile(m_dir.file("server.log"));
    return m_nPort != 0;
}

std::string HttpCameraServer::url(const std::string& path) const
{
    return (m_bTls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_nPort) + path;
}

std::string HttpCameraServer::expectedRgb(const std::string& picture) const
{
    return readFile(m_dir.file(picture + ".rgb"));
}

std::vector<HttpCameraServer::Request> HttpCameraServer::requests(const std::string& path) const
{
    std::vector<Request> found;
    std::istringstream in(readFile(m_dir.file("requests.log")));
    Request r;
    while (in >> r.path >> r.startMs >> r.endMs >> r.inFlight)
        if (r.path == path)
            found.push_back(r);
    return found;
}

bool RtspCameraServer::available(const std::string& codec, std::string* missing)
{
    const std::string encoder = codec == "h264" ? "x264enc" : "jpegenc";
    const std::string check =
        "/usr/bin/python3 -c \"import gi; gi.require_version('Gst', '1.0'); "
        "gi.require_version('GstRtspServer', '1.0'); from gi.repository import Gst, GstRtspServer; "
        "Gst.init(None); import sys; sys.exit(0 if Gst.ElementFactory.find('" +
        encoder + "') else 1)\" >/dev/null 2>&1";
    if (std::system(check.c_str()) == 0)
        return true;
    if (missing)
        *missing = "Debian's python3-gi, gir1.2-gst-rtsp-server-1.0 and the GStreamer plugins "
                   "with " +
                   encoder + " (scripts/bootstrap.sh --tests installs them)";
    return false;
}

bool RtspCameraServer::start(const std::string& codec, int port, std::string* log,
                             const std::vector<std::string>& extraArgs)
{
    const std::string portFile = m_dir.file("port");
    ::unlink(portFile.c_str());
    std::vector<std::string> argv{
        "/usr/bin/python3", script("rtsp_server.py"), "--port-file", portFile,
        "--port",           std::to_string(port),     "--codec",     codec};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    if (!m_process.start(argv, m_dir.file("server.log")))
        return false;
    m_nPort = waitForPortFile(portFile, m_process, 15000);
    if (m_nPort == 0 && log)
        *log = readFile(m_dir.file("server.log"));
    return m_nPort != 0;
}

std::string RtspCameraServer::url() const
{
    return "rtsp://127.0.0.1:" + std::to_string(m_nPort) + "/cam";
}

bool HostileRtspServer::start(const std::string& mode, bool authFirst, std::string* log)
{
    const std::string portFile = m_dir.file("port");
    std::vector<std::string> argv{"/usr/bin/python3",
                                  script("hostile_rtsp.py"),
                                  "--port-file",
                                  portFile,
                                  "--log",
                                  m_dir.file("requests.log"),
                                  "--mode",
                                  mode};
    if (authFirst)
        argv.push_back("--auth-first");
    if (!m_process.start(argv, m_dir.file("server.log")))
        return false;
    m_nPort = waitForPortFile(portFile, m_process, 10000);
    if (m_nPort == 0 && log)
        *log = readFile(m_dir.file("server.log"));
    return m_nPort != 0;
}

int UnusedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

} // namespace vistrel::test
