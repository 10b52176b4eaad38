#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace vistrel {

// Dated copies beside the numbered archive: each picture is also kept under the name a strftime
// pattern gives for its capture time ("cam/%Y/%m/%d/%H%M%S.jpg"), its folders made as needed.
// Locally the name counts from the local copy's folder (an absolute pattern is used as it is);
// on the server from the upload directory.

// The name pattern gives for when: "" when it gives no text, a longer one than a name may be,
// or a name that could leave its folder (a ".." part, an empty file name). A remote name never
// starts with '/' either (it stays below the upload directory).
std::string DatedName(const std::string& pattern, const std::tm& when, bool remote = false);

// The folders a dated name lies in, outermost first: "cam/2026/12/08/1405.jpg" gives "cam",
// "cam/2026", "cam/2026/12", "cam/2026/12/08". A leading '/' stays on each.
std::vector<std::string> DatedFolders(const std::string& name);

// Copies picture to the local dated name (made from folder + name when name is relative),
// making its folders; false with *error set when that fails.
bool SaveDatedCopy(const std::string& picture, const std::string& path, std::string* error);

// Whether relative (a path below the pattern's fixed folder, see DatedRoot) is a name pattern
// could have made: its numeric fields have their digits ("%Y" four, "%m" two …), its text
// fields ("%b", "%a" …) letters, and everything else is as in the pattern.
bool MatchesDatedPattern(const std::string& pattern, const std::string& relative);

// The part of pattern before its first folder that holds a field ("cam/" for "cam/%Y/%m.jpg",
// "" for "%Y/x.jpg"): the folder pruning searches.
std::string DatedRoot(const std::string& pattern);

// Removes the local dated copies below base that the pattern made and that are older than
// keepDays days (by their time of change, against now) or beyond the newest keepFiles; 0 turns
// either limit off. Other files are never touched; folders the removal leaves empty go too.
// Returns how many files were removed; *error names the first one that could not be.
int PruneDatedCopies(const std::string& base, const std::string& pattern, int keepDays,
                     int keepFiles, std::time_t now, std::string* error = nullptr);

} // namespace vistrel
