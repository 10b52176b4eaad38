#include "ftp/LogOnTable.h"

namespace vistrel {

namespace {

constexpr int D = kLogOnDone;
constexpr int F = kLogOnFail;

// clang-format off
constexpr int kType0[] = {0, D, 3,   1, D, 6,   2, D, F};
constexpr int kType1[] = {3, 6, 3,   4, 6, F,   5, F, 9,   0, D, 12,   1, D, 15,   2, D, F};
constexpr int kType2[] = {3, 6, 3,   4, 6, F,   6, D, 9,   1, D, 12,   2, D, F};
constexpr int kType3[] = {7, 3, 3,   0, D, 6,   1, D, 9,   2, D, F};
constexpr int kType5[] = {6, D, 3,   1, D, 6,   2, D, F};
constexpr int kType6[] = {8, 6, 3,   4, 6, F,   0, D, 9,   1, D, 12,   2, D, F};
constexpr int kType7[] = {9, F, 3,   1, D, 6,   2, D, F};
constexpr int kType8[] = {10, D, 3,  11, D, 6,  2, D, F};
// clang-format on

} // namespace

std::span<const int> LogOnSequence(int logonType)
{
    switch (logonType) {
    case 0:
        return kType0;
    case 1:
        return kType1;
    case 2:
        return kType2;
    case 3:
        return kType3;
    case 5:
        return kType5;
    case 6:
        return kType6;
    case 7:
        return kType7;
    case 8:
        return kType8;
    default:
        return {};
    }
}

std::string LogOnServerText(const std::string& host, int port)
{
    return port == 21 ? host : host + ":" + std::to_string(port);
}

std::string LogOnCommand(int code, const LogOnValues& v)
{
    const std::string server = LogOnServerText(v.host, v.port);
    switch (code) {
    case 0:
        return "USER " + v.user;
    case 1:
        return "PASS " + v.password;
    case 2:
        return "ACCT " + v.account;
    case 3:
        return "USER " + v.proxyUser;
    case 4:
        return "PASS " + v.proxyPassword;
    case 5:
        return "SITE " + server;
    case 6:
        return "USER " + v.user + "@" + server;
    case 7:
        return "OPEN " + server;
    case 8:
        return "USER " + v.proxyUser + "@" + server;
    case 9:
        return "USER " + v.user + "@" + server + " " + v.proxyUser;
    case 10:
        return "USER " + v.user + "@" + v.proxyUser + "@" + server;
    case 11:
        return "PASS " + v.password + "@" + v.proxyPassword;
    default:
        return {};
    }
}

int LogonTypeForProxy(bool useProxy, int proxyTypeIndex)
{
    if (!useProxy)
        return 0;
    static constexpr int kTypes[] = {1, 3, 2, 5, 6, 7, 8};
    if (proxyTypeIndex < 0 || proxyTypeIndex > 6)
        return -1;
    return kTypes[proxyTypeIndex];
}

} // namespace vistrel
