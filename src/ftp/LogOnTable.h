#pragma once

#include <span>
#include <string>

namespace vistrel {

// The log-on sequences of the FTP session: one row per log-on type, for a direct log-on (type 0)
// and for the FTP proxy schemes. A row is a list of steps numbered 0, 3, 6, …; each step is three
// cells: the command code (see LogOnCommand), the next step on a 2xx reply and the next step on a
// 3xx reply. Two end marks stop the sequence.
constexpr int kLogOnDone = -2; // logged on
constexpr int kLogOnFail = -1; // "Logon failed"

// What the command codes are built from.
struct LogOnValues {
    std::string host; // the FTP server
    int port = 21;
    std::string user;
    std::string password;
    std::string account;
    std::string proxyUser;
    std::string proxyPassword;
};

// The row of a log-on type (0, 1, 2, 3, 5, 6, 7 or 8); empty for any other value.
std::span<const int> LogOnSequence(int logonType);

// The server as written inside proxy commands: the host, with ":port" added when the port is
// not 21.
std::string LogOnServerText(const std::string& host, int port);

// The command text of a command code 0..11 (empty for another code):
//  0 USER user            4 PASS proxy password              8 USER proxy user@server
//  1 PASS password        5 SITE server                      9 USER user@server proxy user
//  2 ACCT account         6 USER user@server                10 USER user@proxy user@server
//  3 USER proxy user      7 OPEN server                     11 PASS password@proxy password
std::string LogOnCommand(int code, const LogOnValues& values);

// The log-on type for the stored proxy settings (on/off and the index of the proxy type list):
// proxy off → 0; index 0 → 1 (SITE), 1 → 3 (OPEN), 2 → 2 (USER after logon), 3 → 5 (USER no
// logon), 4 → 6, 5 → 7, 6 → 8. Any other index gives -1, which no row answers, so LogOn refuses
// it before connecting. Every caller uses this one mapping.
int LogonTypeForProxy(bool useProxy, int proxyTypeIndex);

} // namespace vistrel
