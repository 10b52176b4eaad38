#include "app/CheckFtp.h"

#include "config/KeyCatalogue.h"
#include "ftp/FtpSession.h"
#include "platform/PrivateTempDir.h"
#include "upload/Archive.h"
#include "upload/FtpConnectionSettings.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
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

FtpCheckReport RunFtpCheck(const LiveSettings& s)
{
    FtpCheckReport report;
    Check check(report);
    const FtpConnection connection = ToFtpConnection(s);
    const bool viaProxy = connection.ViaProxy();
    const std::string target = (viaProxy ? "proxy " : "") + connection.ConnectHost() + " port " +
                               std::to_string(connection.ConnectPort());
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
    if (!logPath.empty())
        session.OpenLog(logPath);

    // What a cycle names: the temporary name in the current directory, the target beside the
    // picture's own name (with its directory part), the archive slot in the current directory.
    const std::string probe = probeName();
    const std::string targetName = SplitRemoteName(s.m_strFTPFilename).dir + probe + ".jpg";
    const std::string tempName = RemoteTempName(targetName);
    std::string onServer; // the name the probe has on the server, once stored

    bool ok = session.LogOn(connection);
    const FtpFailure failure = session.Failure();
    const bool connected = ok || (!IsConnectFailure(failure) && failure != FtpFailure::Settings);
    if (IsConnectFailure(failure)) {
        check.step("connect", false,
                   target + ": " + session.Message() + " (" + session.ConnectCause() + ")");
    } else if (!connected) {
        check.step("log on", false, session.Message());
    } else {
        check.step("connect", true, target);
        std::string why = session.Message();
        // A server that takes the connection and then says nothing at all (no greeting, no
        // reply) runs into the time-out: say so rather than only "Network error (Read)".
        if (!ok && failure == FtpFailure::TimedOut)
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
