#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vistrel {

// Private-profile (INI) files, with the semantics the settings code relies on:
//
// - A file is "[Section]" header lines followed by "Key=Value" lines. Section and key names are
//   compared without regard to ASCII letter case, ignoring blanks around them. Lines starting
//   with ';' and lines without '=' are kept but never match a key.
// - The first matching section and, inside it, the first matching key win.
// - A missing file, section or key yields the caller's default.
// - Every call reads the file afresh; nothing is cached, so a write is seen at once by any other
//   reader, in this process or another.
// - Files may use LF or CRLF line ends; a write keeps the style it finds (LF for a new file).
//
// Writes replace the whole file atomically (a temporary file ".<name>.vistrel-XXXXXX" in the same
// directory, then rename) while holding an exclusive advisory lock (flock) on the current file,
// and the file is re-read inside that lock. So a writer killed half-way leaves the old file whole,
// and two processes writing different keys of one file at the same time lose nothing. The new
// file keeps the owner, group and mode of the old one. Where the file cannot be replaced (a
// folder the user may not write, an owner or group the new file could not be given, a sticky
// folder) the new contents are written over the old file in place, still under the lock.
//
// Only regular files are read and written: a FIFO, a device or a folder in the file's place is
// never waited on (reads give the defaults, writes fail with "<path> is not a regular file").
// A symbolic link is followed, also one whose target does not exist yet (a write creates the
// target); the link itself is never replaced.

// The longest string a read returns (reads have always used a 1024-byte buffer).
inline constexpr std::size_t kProfileStringMax = 1023;

// Integer read: the value's leading blanks are skipped, then an optional sign and the leading
// decimal digits are taken ("12abc" is 12, " -5" is -5). A value without digits, like a missing
// key, gives defaultValue. Values beyond 32 bits wrap around.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& fileName);
// The same rule over a value already read. whole (when given) tells whether the value held
// nothing but blanks, the sign and the digits.
int ParseProfileInt(std::string_view value, int defaultValue, bool* whole = nullptr);

// String read: the value with its leading and trailing blanks removed and then one pair of
// surrounding double quotes removed, cut to kProfileStringMax bytes (never inside a UTF-8
// character, see Utf8Prefix). A missing key gives defaultValue (cut the same way).
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& fileName);

// Sets section/key to value, creating the file (mode 0600), the section and the key when
// missing and leaving every other line untouched. A value that would not read back unchanged
// as written (it begins or ends with a blank, or begins and ends with a double quote) is stored
// inside one more pair of double quotes, so the read returns exactly the value written.
//
// Refused (false, file unchanged, *error set): a CR, LF or NUL byte in the section, key or value
// (it would split the line and corrupt the file); an empty section or key, a section containing
// ']', a key containing '=' or beginning with '[' or ';', names with blanks around them; a file
// that is not writable; any I/O failure.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& fileName,
                               std::string* error = nullptr);

// text cut to at most maxBytes bytes, moved back to the start of a UTF-8 character that the cut
// would split (by at most three bytes; text that is not UTF-8 is cut at maxBytes).
std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes);

} // namespace vistrel
