#pragma once

#include "platform/CommandLine.h" // JoinArguments: the tail the updater reads

#include <cstdint>
#include <string>

namespace vistrel {

// The updater's decisions, kept apart from its dialog: command line, address splitting, version
// comparison and the texts it shows.

struct UpdaterCommandLine {
    std::string strPadPath;
    bool bSilent = false;
};

// Splits the text after the program name at every single space (empty pieces dropped, quotes not
// special). "-s" or "-S" asks for silent operation; any other piece names the PAD file, the last
// one winning.
UpdaterCommandLine ParseUpdaterCommandLine(const std::string& tail);

// Splits an http or https address into host, port and resource path. The port starts at 80 (443
// for https, which sets *secure); an address of another scheme fails and leaves host and path as
// they were; an address without a path asks for "/". A port outside 1..65535 (or 0) fails and
// sets the port to 0, so the connection that follows fails too. Returns false for an empty host.
bool SplitUrl(const std::string& address, std::string& host, std::uint16_t& port, std::string& path,
              bool* secure = nullptr);

// A version as three numbers, -1 for a missing part.
struct ProgramVersion {
    int nMajor = -1;
    int nMinor = -1;
    int nThird = -1;
};

// Splits at '.' into at most three parts (consecutive dots count as one); each part is the number
// its leading digits make (leading blanks and a sign allowed, 0 without digits). A fourth part and
// anything after it are ignored.
ProgramVersion ParseVersion(const std::string& text);

// Part-by-part comparison from the left.
bool IsNewerVersion(const std::string& installed, const std::string& candidate);

// A download address is taken when it starts with "http" and ends with "exe", both exactly.
bool IsAcceptableDownloadAddress(const std::string& address);

// File name of the downloaded setup program: the program name followed by "-update.exe". A '/' or
// NUL in the name (which would point outside the working directory) becomes '_'.
std::string SetupFileName(const std::string& programName);

// Texts of the update dialog.
inline constexpr const char* kUsageText =
    "You must specify a PAD XML file in the command line.\r\n\r\nExample: updater program.xml";
inline constexpr const char* kCannotLoadText = "Unable to load current version information.";
inline constexpr const char* kCheckingText = "Checking for updates...";
inline constexpr const char* kNotInitializedText = "httplib not initialized";
inline constexpr const char* kNoUpdatesFoundText = "No Updates Found.";
inline constexpr const char* kUpToDateText = "No updates were found.";
inline constexpr const char* kPadTooLargeText =
    "The PAD file on the server is larger than 1 MB and was refused.";
inline constexpr const char* kDownloadingText = "Downloading update...";
inline constexpr const char* kLaunchingText = "Launching setup program...";
// Said with what came over http:// rather than https://.
inline constexpr const char* kPlainHttpText =
    "This came over plain HTTP: nothing proves that it was not changed on the way.";
inline constexpr const char* kCancelingText = "Canceling download.\r\n\r\nPlease wait...";

std::string NewVersionText(const std::string& programName, const std::string& installed,
                           const std::string& newVersion, const std::string& whatsNew);
std::string BytesCopiedText(std::int64_t copied, std::int64_t total);

} // namespace vistrel
