#pragma once

#include "ftp/FtpSecurity.h"

#include <string>

namespace vistrel {

// Where and how an FTP session logs on: the server and its account, the FTP proxy (when the
// log-on type is not 0) and how the session talks (TLS, certificate pinning, passive data
// connections, the time-out). A plain value: the cycle, the directory browser and the FTP check
// build it from the settings in one place (ToFtpConnection) and hand it to CFtpSession::LogOn.
struct FtpConnection {
    std::string host;
    int port = 21;
    std::string user;
    std::string password; // clear text
    // The log-on sequence (see LogOnTable.h): 0 logs on to the server directly, another type
    // through the proxy; LogonTypeForProxy maps the stored proxy settings to it.
    int logonType = 0;
    std::string proxyHost;
    int proxyPort = 21;
    std::string proxyUser;
    std::string proxyPassword;
    FtpSecuritySettings security; // TLS (FTPS); the default is plain FTP
    bool passive = false;
    int timeout = 90; // seconds, for every wait of the session

    bool ViaProxy() const { return logonType != 0; }
    // Where the control connection goes: the proxy when there is one, else the server.
    const std::string& ConnectHost() const { return ViaProxy() ? proxyHost : host; }
    int ConnectPort() const { return ViaProxy() ? proxyPort : port; }

    bool operator==(const FtpConnection&) const = default;
};

} // namespace vistrel
