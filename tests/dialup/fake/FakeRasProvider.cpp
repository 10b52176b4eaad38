// A scriptable RAS provider for the dial-up tests: a phone book, connections with states, a
// dial result, forced failures and error texts, all set through FakeRasControl. It checks the
// record sizes and buffer sizes as a real provider does and counts every call.
//
// Built twice: with every function, and without RasGetEntryPropertiesA (the second-source
// library then forwards to FakeRasEntryProperties here, so both share one phone book).
#include "dialup/RasProvider.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::string name, phone, user, password;
};

struct Connection {
    std::string entry;
    RASCONNSTATE state = RASCS_Connected;
    uint32_t statusError = 0; // answered by every status query while the line is up
    bool hungUp = false;
    int pollsLeft = 0; // status queries still answered after hang-up; -1 for ever
};

struct Failure {
    uint32_t code = 0;
    int after = 0; // calls that still succeed
    int base = 0;  // calls made before the failure was scripted
};

struct State {
    std::mutex mutex;
    std::vector<Entry> entries;
    std::map<HRASCONN, Connection> connections;
    HRASCONN nextHandle = 100;
    std::map<std::string, Failure> failures;
    std::map<std::string, int> calls;
    std::map<uint32_t, std::string> texts;
    uint32_t dialResult = 0;
    RASCONNSTATE dialState = RASCS_Connected;
    int hangUpPolls = 0;
    bool emptyNameForUnknown = false;
    uint32_t entryExtra = 0;
    uint32_t deviceSize = 0;
    RASDIALPARAMSA lastDial{};
};

State& S()
{
    static State state;
    return state;
}

// Counts the call and answers the scripted failure, if one is due.
uint32_t Enter(State& s, const std::string& fn)
{
    const int n = ++s.calls[fn];
    const auto it = s.failures.find(fn);
    if (it != s.failures.end() && it->second.code && n - it->second.base > it->second.after)
        return it->second.code;
    return 0;
}

template <size_t N> void Put(char (&field)[N], const std::string& text)
{
    std::strncpy(field, text.c_str(), N - 1);
    field[N - 1] = '\0';
}

const Entry* FindEntry(State& s, const char* name)
{
    for (const Entry& e : s.entries)
        if (name && e.name == name)
            return &e;
    return nullptr;
}

std::vector<std::string> Split(const std::string& command)
{
    std::vector<std::string> parts;
    std::stringstream in(command);
    std::string part;
    while (std::getline(in, part, '|'))
        parts.push_back(part);
    return parts;
}

uint32_t Number(const std::string& text)
{
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

} // namespace

extern "C" {

// Scripts the provider. Commands, fields separated by '|':
//   reset                                   empty phone book, no connections, no failures
//   entry|name|phone|user|password          add a phone-book entry
//   connection|entry|state[|statusError]    add a line; answers its handle
//   fail|Function|code[|after]              fail calls after `after` more successes (code 0: stop)
//   text|code|text                          RasGetErrorStringA's text for code
//   dial|code[|state]                       RasDialA's answer and the new line's state
//   hangup-polls|n                          status queries that still see a hung-up line (-1: all)
//   empty-name|1                            unknown entries come back with an empty name
//   entry-size|extra|device                 RasGetEntryPropertiesA reports larger records
//   count|Function                          answers the number of calls
//   lines                                   answers the number of lines not yet gone
//   last-dial|entry,phone,user,password     copies that field of the last dial into out
long FakeRasControl(const char* command, char* out, unsigned outSize)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    const std::vector<std::string> a = Split(command);
    if (a.empty())
        return -1;
    const std::string& verb = a[0];
    if (verb == "reset") {
        s.entries.clear();
        s.connections.clear();
        s.failures.clear();
        s.calls.clear();
        s.texts.clear();
        s.dialResult = 0;
        s.dialState = RASCS_Connected;
        s.hangUpPolls = 0;
        s.emptyNameForUnknown = false;
        s.entryExtra = s.deviceSize = 0;
        s.lastDial = RASDIALPARAMSA{};
        return 0;
    }
    if (verb == "entry" && a.size() == 5) {
        s.entries.push_back({a[1], a[2], a[3], a[4]});
        return 0;
    }
    if (verb == "connection" && a.size() >= 3) {
        Connection c;
        c.entry = a[1];
        c.state = Number(a[2]);
        c.statusError = a.size() > 3 ? Number(a[3]) : 0;
        s.connections[s.nextHandle] = c;
        return s.nextHandle++;
    }
    if (verb == "fail" && a.size() >= 3) {
        s.failures[a[1]] = {Number(a[2]), a.size() > 3 ? std::atoi(a[3].c_str()) : 0,
                            s.calls[a[1]]};
        return 0;
    }
    if (verb == "text" && a.size() == 3) {
        s.texts[Number(a[1])] = a[2];
        return 0;
    }
    if (verb == "dial" && a.size() >= 2) {
        s.dialResult = Number(a[1]);
        s.dialState = a.size() > 2 ? Number(a[2]) : RASCS_Connected;
        return 0;
    }
    if (verb == "hangup-polls" && a.size() == 2) {
        s.hangUpPolls = std::atoi(a[1].c_str());
        return 0;
    }
    if (verb == "empty-name" && a.size() == 2) {
        s.emptyNameForUnknown = a[1] == "1";
        return 0;
    }
    if (verb == "entry-size" && a.size() == 3) {
        s.entryExtra = Number(a[1]);
        s.deviceSize = Number(a[2]);
        return 0;
    }
    if (verb == "count" && a.size() == 2)
        return s.calls[a[1]];
    if (verb == "lines")
        return static_cast<long>(s.connections.size());
    if (verb == "last-dial" && a.size() == 2 && out && outSize > 0) {
        const RASDIALPARAMSA& d = s.lastDial;
        const char* field = a[1] == "entry"      ? d.szEntryName
                            : a[1] == "phone"    ? d.szPhoneNumber
                            : a[1] == "user"     ? d.szUserName
                            : a[1] == "password" ? d.szPassword
                                                 : nullptr;
        if (!field)
            return -1;
        std::strncpy(out, field, outSize - 1);
        out[outSize - 1] = '\0';
        return 0;
    }
    return -1;
}

uint32_t RasGetErrorStringA(uint32_t code, char* text, uint32_t size)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (const uint32_t rc = Enter(s, "RasGetErrorStringA"))
        return rc;
    const auto it = s.texts.find(code);
    if (!text || it == s.texts.end())
        return ERROR_INVALID_PARAMETER;
    if (it->second.size() + 1 > size)
        return ERROR_BUFFER_TOO_SMALL;
    std::memcpy(text, it->second.c_str(), it->second.size() + 1);
    return 0;
}

uint32_t RasEnumEntriesA(const char* reserved, const char* phonebook, RASENTRYNAMEA* names,
                         uint32_t* bytes, uint32_t* count)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (const uint32_t rc = Enter(s, "RasEnumEntriesA"))
        return rc;
    if (reserved || phonebook || !names || !bytes || !count)
        return ERROR_INVALID_PARAMETER;
    if (names->dwSize != RASENTRYNAMEA_SIZE)
        return ERROR_INVALID_SIZE;
    const uint32_t need = static_cast<uint32_t>(s.entries.size() * sizeof(RASENTRYNAMEA));
    *count = static_cast<uint32_t>(s.entries.size());
    if (*bytes < need) {
        *bytes = need;
        return ERROR_BUFFER_TOO_SMALL;
    }
    for (size_t i = 0; i < s.entries.size(); ++i) {
        names[i].dwSize = RASENTRYNAMEA_SIZE;
        Put(names[i].szEntryName, s.entries[i].name);
    }
    *bytes = need;
    return 0;
}

uint32_t RasEnumConnectionsA(RASCONNA* lines, uint32_t* bytes, uint32_t* count)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (const uint32_t rc = Enter(s, "RasEnumConnectionsA"))
        return rc;
    if (!lines || !bytes || !count)
        return ERROR_INVALID_PARAMETER;
    if (lines->dwSize != RASCONNA_SIZE)
        return ERROR_INVALID_SIZE;
    std::vector<std::pair<HRASCONN, const Connection*>> up;
    for (const auto& [handle, c] : s.connections)
        if (!c.hungUp)
            up.emplace_back(handle, &c);
    const uint32_t need = static_cast<uint32_t>(up.size() * sizeof(RASCONNA));
    *count = static_cast<uint32_t>(up.size());
    if (*bytes < need) {
        *bytes = need;
        return ERROR_BUFFER_TOO_SMALL;
    }
    for (size_t i = 0; i < up.size(); ++i) {
        lines[i].dwSize = RASCONNA_SIZE;
        lines[i].hrasconn = up[i].first;
        Put(lines[i].szEntryName, up[i].second->entry);
        Put(lines[i].szDeviceType, "modem");
    }
    *bytes = need;
    return 0;
}

uint32_t RasGetConnectStatusA(HRASCONN handle, RASCONNSTATUSA* status)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (const uint32_t rc = Enter(s, "RasGetConnectStatusA"))
        return rc;
    if (!status)
        return ERROR_INVALID_PARAMETER;
    if (status->dwSize != RASCONNSTATUSA_SIZE)
        return ERROR_INVALID_SIZE;
    const auto it = s.connections.find(handle);
    if (it == s.connections.end())
        return ERROR_INVALID_HANDLE;
    Connection& c = it->second;
    if (c.hungUp) {
        if (c.pollsLeft == 0) {
            s.connections.erase(it);
            return ERROR_INVALID_HANDLE;
        }
        if (c.pollsLeft > 0)
            --c.pollsLeft;
        status->rasconnstate = RASCS_Disconnected;
        return 0;
    }
    if (c.statusError)
        return c.statusError;
    status->rasconnstate = c.state;
    status->dwError = 0;
    Put(status->szDeviceType, "modem");
    return 0;
}

uint32_t RasHangUpA(HRASCONN handle)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (const uint32_t rc = Enter(s, "RasHangUpA"))
        return rc;
    const auto it = s.connections.find(handle);
    if (it == s.connections.end())
        return ERROR_INVALID_HANDLE;
    it->second.hungUp = true;
    it->second.pollsLeft = s.hangUpPolls;
    return 0;
}

uint32_t RasDialA(const RASDIALEXTENSIONS* extensions, const char* phonebook,
                  RASDIALPARAMSA* params, uint32_t notifierType, void* notifier, HRASCONN* handle)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (const uint32_t rc = Enter(s, "RasDialA"))
        return rc;
    if (extensions || phonebook || notifierType || notifier || !params || !handle)
        return ERROR_INVALID_PARAMETER;
    if (params->dwSize != RASDIALPARAMSA_SIZE)
        return ERROR_INVALID_SIZE;
    s.lastDial = *params;
    // Like a real provider, a failed dial still leaves a line that must be hung up.
    Connection c;
    c.entry = params->szEntryName;
    c.state = s.dialResult ? RASCS_Disconnected : s.dialState;
    s.connections[s.nextHandle] = c;
    *handle = s.nextHandle++;
    return s.dialResult;
}

uint32_t RasGetEntryDialParamsA(const char* phonebook, RASDIALPARAMSA* params, int32_t* hasPassword)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (const uint32_t rc = Enter(s, "RasGetEntryDialParamsA"))
        return rc;
    if (phonebook || !params || !hasPassword)
        return ERROR_INVALID_PARAMETER;
    if (params->dwSize != RASDIALPARAMSA_SIZE)
        return ERROR_INVALID_SIZE;
    const Entry* e = FindEntry(s, params->szEntryName);
    if (!e && s.emptyNameForUnknown) {
        params->szEntryName[0] = '\0';
        return 0;
    }
    if (!e)
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    Put(params->szPhoneNumber, e->phone);
    Put(params->szUserName, e->user);
    Put(params->szPassword, e->password);
    params->szCallbackNumber[0] = params->szDomain[0] = '\0';
    *hasPassword = !e->password.empty();
    return 0;
}

uint32_t FakeRasEntryProperties(const char* phonebook, const char* name, RASENTRYA* entry,
                                uint32_t* entrySize, uint8_t* device, uint32_t* deviceSize)
{
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (const uint32_t rc = Enter(s, "RasGetEntryPropertiesA"))
        return rc;
    if (phonebook || !entrySize)
        return ERROR_INVALID_PARAMETER;
    const Entry* e = FindEntry(s, name);
    if (!e)
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    const uint32_t need = static_cast<uint32_t>(sizeof(RASENTRYA)) + s.entryExtra;
    if (!entry || *entrySize < need) {
        *entrySize = need;
        if (deviceSize)
            *deviceSize = s.deviceSize;
        return ERROR_BUFFER_TOO_SMALL;
    }
    if (entry->dwSize != need)
        return ERROR_INVALID_SIZE;
    if (s.deviceSize && (!device || !deviceSize || *deviceSize < s.deviceSize))
        return ERROR_BUFFER_TOO_SMALL;
    // Fill the whole reported size, so a caller that allocated less is caught.
    std::memset(reinterpret_cast<char*>(entry) + sizeof(uint32_t), 0, need - sizeof(uint32_t));
    std::memset(reinterpret_cast<char*>(entry) + sizeof(RASENTRYA), 0x5a, s.entryExtra);
    if (s.deviceSize)
        std::memset(device, 0x3c, s.deviceSize);
    Put(entry->szLocalPhoneNumber, e->phone);
    return 0;
}

#ifndef FAKE_RAS_WITHOUT_ENTRY_PROPERTIES
uint32_t RasGetEntryPropertiesA(const char* phonebook, const char* name, RASENTRYA* entry,
                                uint32_t* entrySize, uint8_t* device, uint32_t* deviceSize)
{
    return FakeRasEntryProperties(phonebook, name, entry, entrySize, device, deviceSize);
}
#endif

} // extern "C"
