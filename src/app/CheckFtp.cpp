#include "app/CheckFtp.h"

#include "app/SettingsBridge.h"
#include "config/KeyCatalogue.h"
#include "ftp/FtpSession.h"
#include "ftp/LogOnTable.h"
#include "platform/PrivateTempDir.h"
#include "upload/Archive.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netdb.h>
#include <random>
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

std::string withoutLineEnd(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string probeName()
{
    std::random_device random;
    char name[32];
    std::snprintf(name, sizeof name, "vistrel-check-%08x", static_cast<unsigned>(random()));
    return name;
}

std::string readAndRemove(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::remove(path.c_str());
    return text.str();
}

class Check {
  public:
    explicit Check(FtpCheckReport& report) : m_report(report) {}
    // Records a step; returns ok.
    bool step(const std::string& name, bool ok, const std::string& detail)
    {
        m_report.steps.push_back({name, ok, withoutLineEnd(detail)});
        return ok;
    }

  private:
    FtpCheckReport& m_report;
};

} // namespace

std::string ConnectFailureCause(const std::string& host, int port, int timeoutSeconds,
                                long long elapsedMs)
{
    if (timeoutSeconds > 0 && elapsedMs + 500 >= timeoutSeconds * 1000LL)
        return "timed out after " + std::to_string(timeoutSeconds) + " s";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (lookup != 0)
        return "name not found: " + std::string(::gai_strerror(lookup));
    ::freeaddrinfo(found);
    // Try once more to learn the system's reason; refusals and unreachable networks answer at
    // once.
    CTimedSocket socket;
    socket.SetTimeout(std::max(1, std::min(timeoutSeconds, 10)));
    if (socket.Connect(host, port))
        return "it answered this time; try again";
    switch (socket.LastError()) {
    case ECONNREFUSED:
        return "connection refused: nothing listens on port " + std::to_string(port);
    case ETIMEDOUT:
        return "timed out";
    default:
        return std::strerror(socket.LastError());
    }
}

FtpCheckReport RunFtpCheck(const LiveSettings& s)
{
    FtpCheckReport report;
    Check check(report);
    const int logonType = LogonTypeForProxy(s.m_bUseFireWall, s.m_nFireWallType);
    const bool viaProxy = logonType != 0;
    const std::string host = viaProxy ? s.m_strFireWallServer : s.m_strFTPServer;
    const int port = viaProxy ? s.m_nFireWallPort : s.m_nFTPPort;
    const std::string target = (viaProxy ? "proxy " : "") + host + " port " + std::to_string(port);
    if (!s.m_bFTPUpload)
        report.notes.push_back(keys::UploadOptions::FTPUpload.name() +
                               "=0: cycles do not upload until it is 1");
    if (s.m_strFTPServer.empty()) {
        check.step("connect", false,
                   "no FTP server is set (" + keys::UploadOptions::FTPServer.name() + ")");
        return report;
    }
    // A security setting the file holds in a form that cannot be used: no connection at all, so
    // no password can go out in plain text.
    if (!s.m_strFTPSecurityRefusal.empty()) {
        check.step("security", false, s.m_strFTPSecurityRefusal);
        return report;
    }

    std::string error;
    const std::string logPath = CreatePrivateTempFile("ftpcheck", &error);
    const std::string probeLocal = CreatePrivateTempFile("ftpprobe", &error);
    if (!probeLocal.empty()) {
        std::ofstream probe(probeLocal, std::ios::binary);
        probe << "Vistrel FTP check: this probe file is deleted at once.\n";
    }

    CFtpSession session;
    session.SetTimeout(s.m_nFTPTimeOut);
    session.SetPassive(s.m_bPassiveMode);
    session.SetSecurity(ToFtpSecuritySettings(s));
    if (!logPath.empty())
        session.OpenLog(logPath);

    // What a cycle names: the temporary name in the current directory, the target beside the
    // picture's own name (with its directory part), the archive slot in the current directory.
    const std::string probe = probeName();
    const std::string targetName = SplitRemoteName(s.m_strFTPFilename).dir + probe + ".jpg";
    const std::string tempName = RemoteTempName(targetName);
    std::string onServer; // the name the probe has on the server, once stored

    bool connected = false;
    const auto started = std::chrono::steady_clock::now();
    bool ok = session.LogOn(s.m_strFTPServer, s.m_nFTPPort, s.m_strFTPUsername, s.m_strFTPPassword,
                            "", s.m_strFireWallServer, s.m_strFireWallUsername,
                            s.m_strFireWallPassword, s.m_nFireWallPort, logonType);
    if (!ok &&
        (session.Message() == ftptext::kConnect || session.Message() == ftptext::kCreateSocket)) {
        const long long elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - started)
                                      .count();
        check.step("connect", false,
                   target + ": " + session.Message() + " (" +
                       ConnectFailureCause(host, port, s.m_nFTPTimeOut, elapsed) + ")");
    } else if (session.Message() == ftptext::kProxyType ||
               session.Message() == ftptext::kLineBreak) {
        check.step("log on", false, session.Message());
    } else {
        connected = true;
        check.step("connect", true, target);
        std::string why = session.Message();
        // A server that takes the connection and then says nothing at all (no greeting, no
        // reply) runs into the time-out: say so rather than only "Network error (Read)".
        const long long elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - started)
                                      .count();
        if (!ok && why == ftptext::kRead && s.m_nFTPTimeOut > 0 &&
            elapsed + 500 >= s.m_nFTPTimeOut * 1000LL)
            why += " (the server accepted the connection but sent no reply within " +
                   std::to_string(s.m_nFTPTimeOut) + " s)";
        ok =
            check.step("log on", ok,
                       ok ? "as " + s.m_strFTPUsername +
                                (viaProxy ? " through the proxy as " + s.m_strFireWallUsername : "")
                          : why);
    }
    if (ok && !s.m_strFTPDirectory.empty()) {
        ok = session.ChangeDir(s.m_strFTPDirectory);
        check.step("directory", ok,
                   ok ? s.m_strFTPDirectory : s.m_strFTPDirectory + ": " + session.Message());
    }
    bool stored = false;
    if (ok) {
        const std::string storeName = s.m_bNoTempFile ? targetName : tempName;
        if (probeLocal.empty()) {
            ok = check.step("store", false, "no probe file could be made here: " + error);
        } else {
            ok = stored = session.UploadFile(probeLocal, storeName);
            check.step("store", ok, ok ? storeName : storeName + ": " + session.Message());
            // A store that failed on the way may have left a part behind.
            if (!ok)
                session.Command("DELE " + storeName);
        }
        onServer = storeName;
    }
    if (ok && !s.m_bNoTempFile) {
        ok = session.Rename(tempName, targetName);
        check.step("rename", ok,
                   tempName + " to " + targetName + (ok ? "" : ": " + session.Message()));
        if (ok)
            onServer = targetName;
    }
    if (ok && s.m_nArchiveInterval > 0 && s.m_nNumberOfArchives > 0) {
        const std::string slot = RemoteSlotName(targetName, 1);
        ok = session.Rename(onServer, slot);
        check.step("archive", ok,
                   onServer + " to " + slot + ", as the archive rotation renames" +
                       (ok ? "" : ": " + session.Message()));
        if (ok)
            onServer = slot;
    }
    if (stored) {
        const bool deleted = session.Command("DELE " + onServer);
        check.step("delete", deleted, onServer + (deleted ? "" : ": " + session.Message()));
    }
    // Without a connection QUIT would only wait for a socket that is not there.
    if (connected)
        session.Quit();
    session.CloseLog();
    if (!probeLocal.empty())
        std::remove(probeLocal.c_str());
    if (!logPath.empty())
        report.conversation = HidePasswords(readable(readAndRemove(logPath)));
    report.ok = !report.steps.empty();
    for (const FtpCheckStep& st : report.steps)
        report.ok = report.ok && st.ok;
    return report;
}

std::string FormatFtpCheck(const FtpCheckReport& report)
{
    std::string out = report.conversation;
    for (const FtpCheckStep& st : report.steps) {
        char head[32];
        std::snprintf(head, sizeof head, "%-10s %-7s ", st.name.c_str(), st.ok ? "ok" : "FAILED");
        out += head + st.detail + "\n";
    }
    if (report.ok) {
        out += "FTP check passed: a cycle can upload with these settings\n";
    } else {
        const auto failed = std::find_if(report.steps.begin(), report.steps.end(),
                                         [](const FtpCheckStep& st) { return !st.ok; });
        out += failed == report.steps.end()
                   ? "FTP check failed\n"
                   : "FTP check failed at the " + failed->name + " step: " + failed->detail + "\n";
    }
    for (const std::string& note : report.notes)
        out += "note: " + note + "\n";
    return out;
}

bool CheckFtp(const LiveSettings& settings, std::string& out)
{
    const FtpCheckReport report = RunFtpCheck(settings);
    out = FormatFtpCheck(report);
    return report.ok;
}

} // namespace vistrel
