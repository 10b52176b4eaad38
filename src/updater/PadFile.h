#pragma once

#include <cstdint>
#include <string>

namespace vistrel {

// Reading Portable Application Description files: the local one the updater is started with and
// the current one fetched from the web.

// The largest PAD file the updater reads or fetches: real ones are a few kilobytes, and anything
// bigger is held in memory several times over and shown in the window.
inline constexpr std::int64_t kMaxPadFileSize = 1 << 20;

// Reads a text file line by line, dropping each line end (LF or CR LF), into one string. The lines
// of a multi-line element text therefore run together. False when the file cannot be opened or is
// larger than kMaxPadFileSize.
bool ReadPadFile(const std::string& path, std::string& xml);

struct LocalPadInfo {
    std::string strProgramName; // Program_Info/Program_Name
    std::string strVersion;     // Program_Info/Program_Version
    std::string strPadAddress;  // Web_Info/Application_URLs/Application_XML_File_URL
};

// Walks the local PAD; true when all three texts are there.
bool ReadLocalPad(const std::string& xml, LocalPadInfo& info);

struct RemotePadInfo {
    std::string strVersion;         // Program_Info/Program_Version
    std::string strWhatsNew;        // Program_Info/Program_Change_Info
    std::string strDownloadAddress; // chosen from Web_Info/Download_URLs
};

// Walks the remote PAD. Fails at once when it names another program (exact comparison; a missing
// Program_Name is accepted); otherwise true when a version and a download address were found.
//
// The download address: Primary_Download_URL, and while the address read is not acceptable the
// next of Secondary_Download_URL, Additional_Download_URL_1 and Additional_Download_URL_2. The
// chain stops at the first missing element, keeping the last address read; when all four are
// there and none is acceptable the address is empty.
bool ReadRemotePad(const std::string& xml, const std::string& programName, RemotePadInfo& info);

} // namespace vistrel
