/* The interface between the dial-up manager and a RAS provider library.
 *
 * A provider is a shared library that exports the eight functions declared at the end of this
 * file under exactly these names (plain C linkage). The dial-up manager loads it at run time and
 * fetches the functions by name, so the program runs without any provider; it then works over
 * the LAN only. "RasGetEntryPropertiesA" may instead come from a second library.
 *
 * Records: every record starts with a size field that the caller sets to the record's generation
 * size (the RAS*_SIZE constants below, which are also the records' sizes in this layout). A
 * provider checks it and answers ERROR_INVALID_SIZE when it does not match. For RASENTRYA the
 * size field holds the size that the sizing call of RasGetEntryPropertiesA reported.
 *
 * Enumerations (RasEnumConnectionsA, RasEnumEntriesA): *lpcb holds the buffer's size in bytes
 * on entry. When the records do not fit, the provider stores the byte count it needs in *lpcb
 * and answers ERROR_BUFFER_TOO_SMALL; otherwise it fills the buffer, stores the bytes used in
 * *lpcb and the number of records in the count.
 *
 * Every function answers 0 on success or one of the result codes below (or a provider's own
 * code, which RasGetErrorStringA turns into a text). Texts are NUL-terminated bytes.
 */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A connection handle; 0 is no connection. */
typedef uint32_t HRASCONN;
typedef uint32_t RASCONNSTATE;

#define RASCS_Connected 0x2000u
#define RASCS_Disconnected 0x2001u

#define RAS_MaxEntryName 256
#define RAS_MaxDeviceType 16
#define RAS_MaxDeviceName 128
#define RAS_MaxPhoneNumber 128
#define RAS_MaxCallbackNumber 128
#define RAS_MaxAreaCode 10
#define RAS_MaxUserName 256
#define RAS_MaxPassword 256
#define RAS_MaxDomain 15

/* Result codes the manager relies on. */
#define RAS_SUCCESS 0u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BUFFER_TOO_SMALL 603u
#define ERROR_CANNOT_FIND_PHONEBOOK_ENTRY 623u
#define ERROR_INVALID_SIZE 632u

/* Generation sizes of the records. */
#define RASCONNA_SIZE 412u
#define RASCONNSTATUSA_SIZE 160u
#define RASENTRYNAMEA_SIZE 264u
#define RASDIALPARAMSA_SIZE 1052u

/* One active connection. */
typedef struct RASCONNA {
    uint32_t dwSize;
    HRASCONN hrasconn;
    char szEntryName[RAS_MaxEntryName + 1];
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
} RASCONNA;

/* The state of one connection; dwError is the provider's code when the line failed. */
typedef struct RASCONNSTATUSA {
    uint32_t dwSize;
    RASCONNSTATE rasconnstate;
    uint32_t dwError;
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
} RASCONNSTATUSA;

/* One phone-book entry name. */
typedef struct RASENTRYNAMEA {
    uint32_t dwSize;
    char szEntryName[RAS_MaxEntryName + 1];
} RASENTRYNAMEA;

/* What is dialled: the entry, and the number and log-in data that override the phone book's. */
typedef struct RASDIALPARAMSA {
    uint32_t dwSize;
    char szEntryName[RAS_MaxEntryName + 1];
    char szPhoneNumber[RAS_MaxPhoneNumber + 1];
    char szCallbackNumber[RAS_MaxCallbackNumber + 1];
    char szUserName[RAS_MaxUserName + 1];
    char szPassword[RAS_MaxPassword + 1];
    char szDomain[RAS_MaxDomain + 1];
} RASDIALPARAMSA;

/* The properties of a phone-book entry. A provider may report a larger size than this record
 * (its own data follows it); it never reports a smaller one. */
typedef struct RASENTRYA {
    uint32_t dwSize;
    uint32_t dwfOptions;
    uint32_t dwCountryCode;
    char szAreaCode[RAS_MaxAreaCode + 1];
    char szLocalPhoneNumber[RAS_MaxPhoneNumber + 1];
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
} RASENTRYA;

/* Dial extensions are not used by the manager, which always passes NULL. */
typedef struct RASDIALEXTENSIONS RASDIALEXTENSIONS;

#ifdef __cplusplus
static_assert(sizeof(RASCONNA) == RASCONNA_SIZE, "RASCONNA layout");
static_assert(sizeof(RASCONNSTATUSA) == RASCONNSTATUSA_SIZE, "RASCONNSTATUSA layout");
static_assert(sizeof(RASENTRYNAMEA) == RASENTRYNAMEA_SIZE, "RASENTRYNAMEA layout");
static_assert(sizeof(RASDIALPARAMSA) == RASDIALPARAMSA_SIZE, "RASDIALPARAMSA layout");
#else
_Static_assert(sizeof(RASCONNA) == RASCONNA_SIZE, "RASCONNA layout");
_Static_assert(sizeof(RASCONNSTATUSA) == RASCONNSTATUSA_SIZE, "RASCONNSTATUSA layout");
_Static_assert(sizeof(RASENTRYNAMEA) == RASENTRYNAMEA_SIZE, "RASENTRYNAMEA layout");
_Static_assert(sizeof(RASDIALPARAMSA) == RASDIALPARAMSA_SIZE, "RASDIALPARAMSA layout");
#endif

/* The entry properties of lpszEntry. Called first with lpRasEntry NULL (and *lpdwEntryInfoSize
 * 0): answers ERROR_BUFFER_TOO_SMALL with the sizes needed in *lpdwEntryInfoSize and, when the
 * entry has device information, *lpdwDeviceInfoSize. */
typedef uint32_t (*PFN_RasGetEntryPropertiesA)(const char* lpszPhonebook, const char* lpszEntry,
                                               RASENTRYA* lpRasEntry, uint32_t* lpdwEntryInfoSize,
                                               uint8_t* lpbDeviceInfo,
                                               uint32_t* lpdwDeviceInfoSize);
/* The text of a result code, NUL-terminated within cBufSize bytes. */
typedef uint32_t (*PFN_RasGetErrorStringA)(uint32_t uErrorValue, char* lpszErrorString,
                                           uint32_t cBufSize);
/* Starts hanging up a connection; the handle stays valid until RasGetConnectStatusA answers
 * ERROR_INVALID_HANDLE for it. */
typedef uint32_t (*PFN_RasHangUpA)(HRASCONN hrasconn);
typedef uint32_t (*PFN_RasEnumConnectionsA)(RASCONNA* lprasconn, uint32_t* lpcb,
                                            uint32_t* lpcConnections);
typedef uint32_t (*PFN_RasGetConnectStatusA)(HRASCONN hrasconn, RASCONNSTATUSA* lprasconnstatus);
/* Dials synchronously when lpvNotifier is NULL. A handle may be returned even when dialling
 * fails; it must then be hung up. */
typedef uint32_t (*PFN_RasDialA)(const RASDIALEXTENSIONS* lpRasDialExtensions,
                                 const char* lpszPhonebook, RASDIALPARAMSA* lpRasDialParams,
                                 uint32_t dwNotifierType, void* lpvNotifier, HRASCONN* lphRasConn);
/* Fills the record from the phone-book entry named in its szEntryName. */
typedef uint32_t (*PFN_RasGetEntryDialParamsA)(const char* lpszPhonebook,
                                               RASDIALPARAMSA* lprasdialparams,
                                               int32_t* lpfPassword);
typedef uint32_t (*PFN_RasEnumEntriesA)(const char* reserved, const char* lpszPhonebook,
                                        RASENTRYNAMEA* lprasentryname, uint32_t* lpcb,
                                        uint32_t* lpcEntries);

/* The exports of a provider (a NULL phone book is the default one). */
uint32_t RasGetEntryPropertiesA(const char* lpszPhonebook, const char* lpszEntry,
                                RASENTRYA* lpRasEntry, uint32_t* lpdwEntryInfoSize,
                                uint8_t* lpbDeviceInfo, uint32_t* lpdwDeviceInfoSize);
uint32_t RasGetErrorStringA(uint32_t uErrorValue, char* lpszErrorString, uint32_t cBufSize);
uint32_t RasHangUpA(HRASCONN hrasconn);
uint32_t RasEnumConnectionsA(RASCONNA* lprasconn, uint32_t* lpcb, uint32_t* lpcConnections);
uint32_t RasGetConnectStatusA(HRASCONN hrasconn, RASCONNSTATUSA* lprasconnstatus);
uint32_t RasDialA(const RASDIALEXTENSIONS* lpRasDialExtensions, const char* lpszPhonebook,
                  RASDIALPARAMSA* lpRasDialParams, uint32_t dwNotifierType, void* lpvNotifier,
                  HRASCONN* lphRasConn);
uint32_t RasGetEntryDialParamsA(const char* lpszPhonebook, RASDIALPARAMSA* lprasdialparams,
                                int32_t* lpfPassword);
uint32_t RasEnumEntriesA(const char* reserved, const char* lpszPhonebook,
                         RASENTRYNAMEA* lprasentryname, uint32_t* lpcb, uint32_t* lpcEntries);

#ifdef __cplusplus
}
#endif
