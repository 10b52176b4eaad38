#include "upload/FtpConnectionSettings.h"

#include "ftp/LogOnTable.h"

namespace vistrel {

FtpConnection ToFtpConnection(const LiveSettings& l)
{
    FtpConnection c;
    c.host = l.m_strFTPServer;
    c.port = l.m_nFTPPort;
    c.user = l.m_strFTPUsername;
    c.password = l.m_strFTPPassword;
    c.logonType = LogonTypeForProxy(l.m_bUseFireWall, l.m_nFireWallType);
    c.proxyHost = l.m_strFireWallServer;
    c.proxyPort = l.m_nFireWallPort;
    c.proxyUser = l.m_strFireWallUsername;
    c.proxyPassword = l.m_strFireWallPassword;
    c.security = ToFtpSecuritySettings(l);
    c.passive = l.m_bPassiveMode;
    c.timeout = l.m_nFTPTimeOut;
    return c;
}

FtpSecuritySettings ToFtpSecuritySettings(const LiveSettings& l)
{
    return {l.m_nFTPSecurity, l.m_bFTPVerifyCertificate, l.m_strFTPCertificateFingerprint,
            l.m_strFTPSecurityRefusal};
}

} // namespace vistrel
