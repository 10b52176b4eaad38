#include "HttpTestServer.h"

#include <filesystem>
#include <vector>

namespace vistrel::test {

HttpTestServer::HttpTestServer() : HttpTestServer({}, {})
{
}

HttpTestServer::HttpTestServer(const std::string& tlsCert, const std::string& tlsKey)
    : m_bTls(!tlsCert.empty())
{
    std::filesystem::create_directory(m_root.file("files"));
    const std::string script = sourceDir() + "/tests/updater/http_server.py";
    // A port found free may be taken before the server binds it: try a few.
    for (int attempt = 0; attempt < 5 && !m_bRunning; ++attempt) {
        m_nPort = freeLoopbackPort();
        std::vector<std::string> argv{"python3",    script,
                                      "--port",     std::to_string(m_nPort),
                                      "--root",     m_root.file("files"),
                                      "--log",      m_root.file("requests.log"),
                                      "--lifetime", "120"};
        if (m_bTls)
            argv.insert(argv.end(), {"--tls-cert", tlsCert, "--tls-key", tlsKey});
        if (!m_process.start(argv, m_root.file("server.log")))
            break;
        m_bRunning = m_process.waitForPort(m_nPort, 10000);
        if (!m_bRunning)
            m_process.stop();
    }
}

std::string HttpTestServer::url(const std::string& path) const
{
    return (m_bTls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_nPort) + path;
}

void HttpTestServer::put(const std::string& name, const std::string& bytes) const
{
    const std::filesystem::path path = m_root.file("files/" + name);
    std::filesystem::create_directories(path.parent_path());
    writeFile(path.string(), bytes);
}

std::string HttpTestServer::requests() const
{
    return readFile(m_root.file("requests.log"));
}

} // namespace vistrel::test
