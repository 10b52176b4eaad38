#pragma once

#include "ChildProcess.h"
#include "TestSupport.h"

#include <string>

namespace vistrel::test {

// The updater tests' HTTP server (http_server.py) serving a temporary folder on 127.0.0.1.
class HttpTestServer {
  public:
    HttpTestServer();
    // Over HTTPS, with this certificate and key (PEM files).
    HttpTestServer(const std::string& tlsCert, const std::string& tlsKey);

    bool running() const { return m_bRunning; }
    int port() const { return m_nPort; }
    std::string url(const std::string& path) const;
    // Puts a file into the served folder.
    void put(const std::string& name, const std::string& bytes) const;
    // The request paths received so far, one a line.
    std::string requests() const;

  private:
    TempDir m_root;
    ChildProcess m_process;
    int m_nPort = 0;
    bool m_bRunning = false;
    bool m_bTls = false;
};

} // namespace vistrel::test
