/* The second-source library of the fake provider: only RasGetEntryPropertiesA, served from the
 * phone book of the library it links to. Written in C, which also keeps the provider header
 * honest as a C header. */
#include "dialup/RasProvider.h"

uint32_t FakeRasEntryProperties(const char* phonebook, const char* name, RASENTRYA* entry,
                                uint32_t* entrySize, uint8_t* device, uint32_t* deviceSize);

uint32_t RasGetEntryPropertiesA(const char* lpszPhonebook, const char* lpszEntry,
                                RASENTRYA* lpRasEntry, uint32_t* lpdwEntryInfoSize,
                                uint8_t* lpbDeviceInfo, uint32_t* lpdwDeviceInfoSize)
{
    return FakeRasEntryProperties(lpszPhonebook, lpszEntry, lpRasEntry, lpdwEntryInfoSize,
                                  lpbDeviceInfo, lpdwDeviceInfoSize);
}
