#pragma once

#include "dialup/RasProvider.h"

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace vistrel {

class Prompter;

// Finds, dials and hangs up dial-up connections and lists the phone-book entries, through a RAS
// provider library (dialup/RasProvider.h) loaded by name at construction. Without a provider RAS
// is unavailable: every operation does nothing and the program works over the LAN only.
//
// One manager serves the whole process. The upload worker uses FindConnected, Dial, HangUp and
// GetErrorText; the Connection page of the settings sheet uses IsRasAvailable, GetEntryCount,
// GetEntryName and GetEntryDialInfo from the user-interface thread at the same time. Those two
// groups share only the last error text, which is guarded.
class CDialUpManager {
  public:
    // The provider libraries, found on the library search path, and the environment variables
    // that replace them (a name or a path; an empty or unset variable keeps the default).
    static constexpr const char* kRasLibrary = "librasapi32.so";
    static constexpr const char* kSecondLibrary = "librnaph.so";
    static constexpr const char* kRasLibraryVariable = "VISTREL_RAS_LIBRARY";
    static constexpr const char* kSecondLibraryVariable = "VISTREL_RAS_SECOND_LIBRARY";

    // How long HangUp (and Dial after a failure) waits for the provider to report the
    // connection gone before giving up on it.
    static constexpr std::chrono::milliseconds kDefaultHangUpWait{10000};

    // Binds RAS from the default libraries (or those the environment names). Message boxes of
    // GetEntryDialInfo and GetEntryPhoneNumber go to prompter, which must outlive the manager.
    explicit CDialUpManager(Prompter& prompter);
    // Binds RAS from the given libraries: every function from rasLibrary, and
    // "RasGetEntryPropertiesA" from secondLibrary when rasLibrary lacks it.
    CDialUpManager(Prompter& prompter, const std::string& rasLibrary,
                   const std::string& secondLibrary);
    // Releases the provider libraries.
    ~CDialUpManager();
    CDialUpManager(const CDialUpManager&) = delete;
    CDialUpManager& operator=(const CDialUpManager&) = delete;

    // Whether a provider was bound at construction.
    bool IsRasAvailable() const { return m_bRasAvailable; }

    // True when some connection on the system is in the connected state. Such a line is
    // treated as somebody else's: it clears the dialled-by-us flag, so HangUp(true) then does
    // nothing. Empties the last error first; a failed status query leaves its text there.
    bool FindConnected();

    // Dials the phone-book entry with the given log-in data and number (the number replaces
    // the phone book's) and blocks until the line is up or dialling failed. True when the line
    // is connected; then this manager counts it as its own. On failure the last error says why,
    // except when RAS is unavailable or the line ended in a state other than connected (the
    // last error is then left as it was). A failed dial is hung up before Dial returns.
    bool Dial(const std::string& entryName, const std::string& userName,
              const std::string& password, const std::string& phoneNumber);

    // Hangs up the connection of the last Dial and waits until the provider reports it gone
    // (at most the hang-up wait). With onlyIfOurs, only when that Dial connected and nothing
    // since cleared the flag. True when a hang-up was performed.
    bool HangUp(bool onlyIfOurs);

    // A copy of the error text of the last failing operation.
    std::string GetErrorText() const;

    // The number of entries in the default phone book; 0 on any failure.
    int GetEntryCount();
    // The name of entry index (0-based), or an empty text when there is none.
    std::string GetEntryName(int index);

    // The user name, password and phone number the phone book stores for entryName. True when
    // they were filled, or when entryName is empty (all three are then empty); false when RAS
    // is unavailable or after a message box (stop icon) that says what failed.
    bool GetEntryDialInfo(const std::string& entryName, std::string& userName,
                          std::string& password, std::string& phoneNumber);
    // Sets phoneNumber to the entry's local phone number. False only when RAS is unavailable;
    // a failure of the provider is shown in a message box and phoneNumber is left unchanged.
    bool GetEntryPhoneNumber(const std::string& entryName, std::string& phoneNumber);

    // Replaces the hang-up wait (tests use a short one).
    void SetHangUpWait(std::chrono::milliseconds wait) { m_hangUpWait = wait; }

  private:
    void Bind(const std::string& rasLibrary, const std::string& secondLibrary);
    void SetLastError(const std::string& text);
    // The provider's text for code, or fallback when it has none.
    std::string RasErrorText(uint32_t code, const std::string& fallback) const;
    // Hangs up handle and polls its status until the provider reports it gone. False when the
    // hang-up wait ran out first.
    bool HangUpAndWait(HRASCONN handle);
    // The names in the default phone book. False on failure, with the last error set as
    // FindConnected sets it.
    bool EnumerateEntries(std::vector<std::string>& names);

    bool m_bDialledByUs = false;
    mutable std::mutex m_errorMutex; // guards m_strLastError
    std::string m_strLastError;
    HRASCONN m_hRasConn = 0;
    bool m_bRasAvailable = false;

    Prompter& m_prompter;
    std::chrono::milliseconds m_hangUpWait = kDefaultHangUpWait;
    void* m_hRasLibrary = nullptr;
    void* m_hSecondLibrary = nullptr;
    PFN_RasGetEntryPropertiesA m_pRasGetEntryProperties = nullptr;
    PFN_RasGetErrorStringA m_pRasGetErrorString = nullptr;
    PFN_RasHangUpA m_pRasHangUp = nullptr;
    PFN_RasEnumConnectionsA m_pRasEnumConnections = nullptr;
    PFN_RasGetConnectStatusA m_pRasGetConnectStatus = nullptr;
    PFN_RasDialA m_pRasDial = nullptr;
    PFN_RasGetEntryDialParamsA m_pRasGetEntryDialParams = nullptr;
    PFN_RasEnumEntriesA m_pRasEnumEntries = nullptr;
};

} // namespace vistrel
