#include "dialup/CDialUpManager.h"

#include "platform/Prompter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include <dlfcn.h>
#include <string.h>

namespace vistrel {

namespace {

const char kIncompleteInfo[] = "Incomplete Dial-Up information!\nPlease check your setup.";
const char kInvalidEntry[] = "Invalid Dial-Up Entry";
const char kUndefinedError[] = "Undefined RAS Dial Error.";
const char kSizingFailed[] = "Sizing call to RasGetEntryProperties failed!";
const char kPropertiesFailed[] = "Call to RasGetEntryProperties failed!";

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using CBuffer = std::unique_ptr<T, FreeDeleter>;

// Zeroed memory that is not touched until used, so a provider reporting an absurd size costs
// nothing but a failed or lazy allocation.
template <typename T> CBuffer<T> Allocate(size_t bytes)
{
    return CBuffer<T>(static_cast<T*>(std::calloc(1, std::max<size_t>(bytes, 1))));
}

// Copies text into a fixed record field, cut to fit and always NUL-terminated.
template <size_t N> void CopyField(char (&field)[N], const std::string& text)
{
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// A field the provider filled; one it left unterminated ends at the field's end.
template <size_t N> std::string FieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

std::string LibraryName(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return value && *value ? value : fallback;
}

template <typename Fn> Fn Symbol(void* library, const char* name)
{
    return library ? reinterpret_cast<Fn>(dlsym(library, name)) : nullptr;
}

// Runs an enumeration with a one-record buffer and, when the provider answers
// ERROR_BUFFER_TOO_SMALL, once more with a buffer of the byte count it reported. grown tells
// which call a failure came from. On success count never exceeds the records the buffer holds.
template <typename Record, typename Enumerate>
uint32_t EnumerateGrowing(uint32_t recordSize, Enumerate enumerate, CBuffer<Record>& records,
                          uint32_t& count, bool& grown)
{
    grown = false;
    count = 0;
    uint32_t bytes = sizeof(Record);
    records = Allocate<Record>(bytes);
    if (!records)
        return ERROR_NOT_ENOUGH_MEMORY;
    records.get()->dwSize = recordSize;
    uint32_t rc = enumerate(records.get(), &bytes, &count);
    if (rc == ERROR_BUFFER_TOO_SMALL) {
        grown = true;
        count = 0;
        bytes = std::max<uint32_t>(bytes, sizeof(Record));
        records = Allocate<Record>(bytes);
        if (!records)
            return ERROR_NOT_ENOUGH_MEMORY;
        records.get()->dwSize = recordSize;
        const uint32_t capacity = bytes / sizeof(Record);
        rc = enumerate(records.get(), &bytes, &count);
        count = std::min(count, capacity);
    } else {
        count = std::min<uint32_t>(count, 1);
    }
    return rc;
}

} // namespace

CDialUpManager::CDialUpManager(Prompter& prompter)
    : CDialUpManager(prompter, LibraryName(kRasLibraryVariable, kRasLibrary),
                     LibraryName(kSecondLibraryVariable, kSecondLibrary))
{
}

CDialUpManager::CDialUpManager(Prompter& prompter, const std::string& rasLibrary,
                               const std::string& secondLibrary)
    : m_prompter(prompter)
{
    Bind(rasLibrary, secondLibrary);
}

CDialUpManager::~CDialUpManager()
{
    if (m_hSecondLibrary)
        dlclose(m_hSecondLibrary);
    if (m_hRasLibrary)
        dlclose(m_hRasLibrary);
}

void CDialUpManager::Bind(const std::string& rasLibrary, const std::string& secondLibrary)
{
    // An empty name would hand dlopen the program itself.
    if (rasLibrary.empty())
        return;
    m_hRasLibrary = dlopen(rasLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_hRasLibrary)
        return;
    m_pRasGetEntryProperties =
        Symbol<PFN_RasGetEntryPropertiesA>(m_hRasLibrary, "RasGetEntryPropertiesA");
    m_pRasGetErrorString = Symbol<PFN_RasGetErrorStringA>(m_hRasLibrary, "RasGetErrorStringA");
    m_pRasHangUp = Symbol<PFN_RasHangUpA>(m_hRasLibrary, "RasHangUpA");
    m_pRasEnumConnections = Symbol<PFN_RasEnumConnectionsA>(m_hRasLibrary, "RasEnumConnectionsA");
    m_pRasGetConnectStatus =
        Symbol<PFN_RasGetConnectStatusA>(m_hRasLibrary, "RasGetConnectStatusA");
    m_pRasDial = Symbol<PFN_RasDialA>(m_hRasLibrary, "RasDialA");
    m_pRasGetEntryDialParams =
        Symbol<PFN_RasGetEntryDialParamsA>(m_hRasLibrary, "RasGetEntryDialParamsA");
    m_pRasEnumEntries = Symbol<PFN_RasEnumEntriesA>(m_hRasLibrary, "RasEnumEntriesA");

    // Older providers keep the entry properties in a library of their own.
    if (!m_pRasGetEntryProperties && !secondLibrary.empty()) {
        m_hSecondLibrary = dlopen(secondLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
        m_pRasGetEntryProperties =
            Symbol<PFN_RasGetEntryPropertiesA>(m_hSecondLibrary, "RasGetEntryPropertiesA");
    }

    // A provider that lacks any of the others would later be called through a null pointer;
    // it counts as no provider at all.
    m_bRasAvailable = m_pRasGetEntryProperties && m_pRasGetErrorString && m_pRasHangUp &&
                      m_pRasEnumConnections && m_pRasGetConnectStatus && m_pRasDial &&
                      m_pRasGetEntryDialParams && m_pRasEnumEntries;
}

void CDialUpManager::SetLastError(const std::string& text)
{
    std::lock_guard lock(m_errorMutex);
    m_strLastError = text;
}

std::string CDialUpManager::GetErrorText() const
{
    std::lock_guard lock(m_errorMutex);
    return m_strLastError;
}

std::string CDialUpManager::RasErrorText(uint32_t code, const std::string& fallback) const
{
    char text[256] = {};
    if (m_pRasGetErrorString(code, text, sizeof text) != RAS_SUCCESS)
        return fallback;
    text[sizeof text - 1] = '\0';
    // A failure must never reach the user without any words.
    return text[0] ? std::string(text) : fallback;
}

bool CDialUpManager::HangUpAndWait(HRASCONN handle)
{
    m_pRasHangUp(handle);
    const auto deadline = std::chrono::steady_clock::now() + m_hangUpWait;
    for (int poll = 0;; ++poll) {
        RASCONNSTATUSA status{};
        status.dwSize = RASCONNSTATUSA_SIZE;
        if (m_pRasGetConnectStatus(handle, &status) == ERROR_INVALID_HANDLE)
            return true;
        // A provider that never lets go of the handle must not hold the worker for ever.
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // Most providers let go at once; a modem that takes seconds should not cost a core.
        if (poll < 64)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(poll - 63, 20)));
    }
}

bool CDialUpManager::FindConnected()
{
    SetLastError(std::string());
    if (!m_bRasAvailable)
        return false;

    CBuffer<RASCONNA> connections;
    uint32_t count = 0;
    bool grown = false;
    const uint32_t rc = EnumerateGrowing<RASCONNA>(
        RASCONNA_SIZE,
        [this](RASCONNA* records, uint32_t* bytes, uint32_t* n) {
            return m_pRasEnumConnections(records, bytes, n);
        },
        connections, count, grown);
    if (rc != RAS_SUCCESS) {
        if (!grown)
            SetLastError(RasErrorText(rc, kUndefinedError));
        return false;
    }

    for (uint32_t i = 0; i < count; ++i) {
        RASCONNSTATUSA status{};
        status.dwSize = RASCONNSTATUSA_SIZE;
        const uint32_t statusRc = m_pRasGetConnectStatus(connections.get()[i].hrasconn, &status);
        if (statusRc != RAS_SUCCESS) {
            SetLastError(RasErrorText(statusRc, kUndefinedError));
            continue;
        }
        if (status.rasconnstate == RASCS_Connected) {
            m_bDialledByUs = false; // somebody else's line, or one we no longer own
            return true;
        }
    }
    return false;
}

bool CDialUpManager::Dial(const std::string& entryName, const std::string& userName,
                          const std::string& password, const std::string& phoneNumber)
{
    if (!m_bRasAvailable)
        return false;

    RASDIALPARAMSA params{};
    params.dwSize = RASDIALPARAMSA_SIZE;
    CopyField(params.szEntryName, entryName);
    m_hRasConn = 0;

    if (userName.empty() || password.empty() || phoneNumber.empty()) {
        SetLastError(kIncompleteInfo);
        return false;
    }

    int32_t hasPassword = 0;
    uint32_t rc = m_pRasGetEntryDialParams(nullptr, &params, &hasPassword);
    if (rc != RAS_SUCCESS) {
        SetLastError(RasErrorText(rc, kUndefinedError));
        explicit_bzero(params.szPassword, sizeof params.szPassword);
        return false;
    }
    if (params.szEntryName[0] == '\0') {
        SetLastError(kInvalidEntry);
        explicit_bzero(params.szPassword, sizeof params.szPassword);
        return false;
    }

    // The settings win over the phone book, the number included.
    CopyField(params.szUserName, userName);
    CopyField(params.szPassword, password);
    CopyField(params.szPhoneNumber, phoneNumber);

    rc = m_pRasDial(nullptr, nullptr, &params, 0, nullptr, &m_hRasConn);
    explicit_bzero(params.szPassword, sizeof params.szPassword);
    if (rc != RAS_SUCCESS) {
        SetLastError(RasErrorText(rc, kUndefinedError));
        // A failed dial can still hold a line open.
        HangUpAndWait(m_hRasConn);
        return false;
    }

    RASCONNSTATUSA status{};
    status.dwSize = RASCONNSTATUSA_SIZE;
    rc = m_pRasGetConnectStatus(m_hRasConn, &status);
    if (rc != RAS_SUCCESS) {
        SetLastError(RasErrorText(rc, kUndefinedError));
        return false;
    }
    if (status.rasconnstate != RASCS_Connected)
        return false;
    m_bDialledByUs = true;
    return true;
}

bool CDialUpManager::HangUp(bool onlyIfOurs)
{
    SetLastError(std::string());
    if (!m_bRasAvailable)
        return false;
    if (onlyIfOurs && !m_bDialledByUs)
        return false;
    m_bDialledByUs = false;
    HangUpAndWait(m_hRasConn);
    return true;
}

bool CDialUpManager::EnumerateEntries(std::vector<std::string>& names)
{
    CBuffer<RASENTRYNAMEA> entries;
    uint32_t count = 0;
    bool grown = false;
    const uint32_t rc = EnumerateGrowing<RASENTRYNAMEA>(
        RASENTRYNAMEA_SIZE,
        [this](RASENTRYNAMEA* records, uint32_t* bytes, uint32_t* n) {
            return m_pRasEnumEntries(nullptr, nullptr, records, bytes, n);
        },
        entries, count, grown);
    if (rc != RAS_SUCCESS) {
        if (!grown)
            SetLastError(RasErrorText(rc, kUndefinedError));
        return false;
    }
    names.clear();
    names.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        names.push_back(FieldText(entries.get()[i].szEntryName));
    return true;
}

int CDialUpManager::GetEntryCount()
{
    SetLastError(std::string());
    std::vector<std::string> names;
    if (!m_bRasAvailable || !EnumerateEntries(names))
        return 0;
    return static_cast<int>(names.size());
}

std::string CDialUpManager::GetEntryName(int index)
{
    SetLastError(std::string());
    std::vector<std::string> names;
    if (!m_bRasAvailable || !EnumerateEntries(names))
        return std::string();
    if (index < 0 || static_cast<size_t>(index) >= names.size())
        return std::string();
    return names[static_cast<size_t>(index)];
}

bool CDialUpManager::GetEntryDialInfo(const std::string& entryName, std::string& userName,
                                      std::string& password, std::string& phoneNumber)
{
    userName.clear();
    password.clear();
    phoneNumber.clear();
    if (!m_bRasAvailable)
        return false;
    if (entryName.empty())
        return true;

    RASDIALPARAMSA params{};
    params.dwSize = RASDIALPARAMSA_SIZE;
    CopyField(params.szEntryName, entryName);
    int32_t hasPassword = 0;
    const uint32_t rc = m_pRasGetEntryDialParams(nullptr, &params, &hasPassword);
    if (rc != RAS_SUCCESS) {
        char fallback[64];
        std::snprintf(fallback, sizeof fallback, "Undefined RAS Dial Error (%ld).",
                      static_cast<long>(rc));
        m_prompter.message(RasErrorText(rc, fallback), PromptIcon::Stop);
        explicit_bzero(params.szPassword, sizeof params.szPassword);
        return false;
    }
    if (params.szEntryName[0] == '\0') {
        m_prompter.message(kInvalidEntry, PromptIcon::Stop);
        explicit_bzero(params.szPassword, sizeof params.szPassword);
        return false;
    }

    GetEntryPhoneNumber(entryName, phoneNumber);
    userName = FieldText(params.szUserName);
    password = FieldText(params.szPassword);
    explicit_bzero(params.szPassword, sizeof params.szPassword);
    return true;
}

bool CDialUpManager::GetEntryPhoneNumber(const std::string& entryName, std::string& phoneNumber)
{
    if (!m_bRasAvailable)
        return false;

    uint32_t entrySize = 0;
    uint32_t deviceSize = 0;
    uint32_t rc = m_pRasGetEntryProperties(nullptr, entryName.c_str(), nullptr, &entrySize, nullptr,
                                           &deviceSize);
    if (rc != ERROR_BUFFER_TOO_SMALL) {
        m_prompter.message(kSizingFailed);
        return true;
    }

    // The record is read as our layout whatever size the provider reports, so never allocate
    // less than that.
    CBuffer<RASENTRYA> entry = Allocate<RASENTRYA>(std::max<size_t>(entrySize, sizeof(RASENTRYA)));
    CBuffer<uint8_t> device;
    if (deviceSize > 0)
        device = Allocate<uint8_t>(deviceSize);
    if (!entry || (deviceSize > 0 && !device)) {
        m_prompter.message(kPropertiesFailed);
        return true;
    }
    entry.get()->dwSize = entrySize;
    rc = m_pRasGetEntryProperties(nullptr, entryName.c_str(), entry.get(), &entrySize, device.get(),
                                  &deviceSize);
    if (rc == RAS_SUCCESS)
        phoneNumber = FieldText(entry.get()->szLocalPhoneNumber);
    else
        m_prompter.message(kPropertiesFailed);
    return true;
}

} // namespace vistrel
