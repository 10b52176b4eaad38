#include "upload/Archive.h"

#include "platform/ReplaceFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vistrel {

namespace {

SplitName splitAt(const std::string& path, const char* separators)
{
    SplitName out;
    const auto slash = path.find_last_of(separators);
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    out.dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const auto dot = file.rfind('.');
    if (dot == std::string::npos) {
        out.base = file;
    } else {
        out.base = file.substr(0, dot);
        out.ext = file.substr(dot);
    }
    return out;
}

std::string twoDigits(int k)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", k);
    return buf;
}

} // namespace

SplitName SplitLocalName(const std::string& path)
{
    return splitAt(path, "/");
}

SplitName SplitRemoteName(const std::string& name)
{
    return splitAt(name, "/\\");
}

std::string LocalSlotName(const std::string& saveAsFilename, int k)
{
    const SplitName s = SplitLocalName(saveAsFilename);
    return s.dir + s.base + twoDigits(k) + s.ext;
}

std::string RemoteSlotName(const std::string& ftpFilename, int k)
{
    const SplitName s = SplitRemoteName(ftpFilename);
    return s.base + twoDigits(k) + s.ext;
}

std::string RemoteTempName(const std::string& ftpFilename)
{
    const SplitName s = SplitRemoteName(ftpFilename);
    std::string temp = s.base + ".tmp";
    // A picture named *.tmp would be its own temporary name, and DeleteBeforeMove would delete
    // the upload itself. Compared without case: some servers ignore it.
    const std::string file = s.base + s.ext;
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    if (std::equal(temp.begin(), temp.end(), file.begin(), file.end(),
                   [&](char a, char b) { return lower(a) == lower(b); }))
        temp = file + ".tmp";
    return temp;
}

bool ArchiveDue(const ArchiveSettings& s, int currentUpload)
{
    return s.interval != 0 && s.count != 0 && currentUpload >= s.interval;
}

std::vector<std::pair<std::string, std::string>>
ArchiveMoves(const ArchiveSettings& s, const std::string& current, SlotNamer slotName)
{
    std::vector<std::pair<std::string, std::string>> moves;
    const int n = s.count;
    if (s.order == 0) {
        for (int k = n; k >= 2; --k)
            moves.emplace_back(slotName(current, k - 1), slotName(current, k));
        moves.emplace_back(current, slotName(current, 1));
    } else {
        for (int k = 1; k <= n - 1; ++k)
            moves.emplace_back(slotName(current, k + 1), slotName(current, k));
        moves.emplace_back(current, slotName(current, n));
    }
    return moves;
}

bool RotateLocalArchive(const ArchiveSettings& s, const std::string& saveAsFilename,
                        std::string* error)
{
    for (const auto& [from, to] : ArchiveMoves(s, saveAsFilename, LocalSlotName)) {
        bool missing = false;
        std::string reason;
        // A slot not filled yet is no failure.
        if (!CopyFileReplacing(from, to, &reason, &missing) && !missing) {
            if (error)
                *error = reason;
            return false;
        }
    }
    return true;
}

bool SaveLocalCopy(const std::string& picture, const std::string& saveAsFilename,
                   const ArchiveSettings& s, bool turn, std::string* error)
{
    if (turn && !RotateLocalArchive(s, saveAsFilename, error))
        return false;
    return CopyFileReplacing(picture, saveAsFilename, error);
}

} // namespace vistrel
