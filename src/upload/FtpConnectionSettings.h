#pragma once

#include "config/LiveSettings.h"
#include "ftp/FtpConnection.h"
#include "ftp/FtpSecurity.h"

namespace vistrel {

// The one place the FTP log-on is read from the settings: the upload cycle, the directory
// browser, the settings sheet's Test button and vistreld --check-ftp all log on with this value.
// The proxy's log-on type comes from LogonTypeForProxy; with the proxy off the proxy values are
// carried but unused.
FtpConnection ToFtpConnection(const LiveSettings& live);

// The TLS settings of every FTP session (part of ToFtpConnection).
FtpSecuritySettings ToFtpSecuritySettings(const LiveSettings& live);

} // namespace vistrel
