#include "app/CheckFtp.h"

#include "app/SettingsBridge.h"
#include "ftp/FtpSession.h"
#include "ftp/LogOnTable.h"
#include "platform/PrivateTempDir.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace vistrel {

std::string HidePasswords(const std::string& conversation)
{
    std::string out;
    std::istringstream in(conversation);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("PASS ", 0) == 0) {
            const bool cr = !line.empty() && line.back() == '\r';
            line = std::string("PASS ********") + (cr ? "\r" : "");
        }
        out += line;
        out += '\n';
    }
    return out;
}

namespace {

// The session's log is a text file with CR LF line ends (and replies ending in their own line
// break); print it with plain line ends and no empty lines.
std::string readable(const std::string& log)
{
    std::string out;
    std::string line;
    for (char c : log) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (!line.empty())
                out += line + "\n";
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        out += line + "\n";
    return out;
}

} // namespace

bool CheckFtp(const LiveSettings& s, std::string& out)
{
    std::string error;
    const std::string logPath = CreatePrivateTempFile("ftpcheck", &error);
    CFtpSession session;
    session.SetTimeout(s.m_nFTPTimeOut);
    session.SetPassive(s.m_bPassiveMode);
    session.SetSecurity(ToFtpSecuritySettings(s));
    if (!logPath.empty())
        session.OpenLog(logPath);

    bool ok =
        session.LogOn(s.m_strFTPServer, s.m_nFTPPort, s.m_strFTPUsername, s.m_strFTPPassword, "",
                      s.m_strFireWallServer, s.m_strFireWallUsername, s.m_strFireWallPassword,
                      s.m_nFireWallPort, LogonTypeForProxy(s.m_bUseFireWall, s.m_nFireWallType));
    std::string failure;
    if (!ok)
        failure = "log-on failed: " + session.Message();
    if (ok && !s.m_strFTPDirectory.empty() && !session.ChangeDir(s.m_strFTPDirectory)) {
        ok = false;
        failure = "cannot change to " + s.m_strFTPDirectory + ": " + session.Message();
    }
    std::string listing;
    if (ok && session.List(listing) <= 0) {
        // An empty directory lists nothing and still ends with the transfer-complete reply.
        const std::string& m = session.Message();
        if (m.rfind("226", 0) != 0 && m.rfind("250", 0) != 0) {
            ok = false;
            failure = "listing failed: " + m;
        }
    }
    session.Quit();
    session.CloseLog();

    std::string conversation;
    if (!logPath.empty()) {
        std::ifstream in(logPath, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        conversation = ss.str();
        std::remove(logPath.c_str());
    }
    out = HidePasswords(readable(conversation));
    if (ok) {
        out += "--- listing of " +
               (s.m_strFTPDirectory.empty() ? "the log-in directory" : s.m_strFTPDirectory) +
               " ---\n" + listing;
        if (!listing.empty() && listing.back() != '\n')
            out += '\n';
        out += "FTP check passed\n";
    } else {
        while (!failure.empty() && (failure.back() == '\n' || failure.back() == '\r'))
            failure.pop_back();
        out += "FTP check failed: " + failure + "\n";
    }
    return ok;
}

} // namespace vistrel
