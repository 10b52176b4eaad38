#pragma once

#include <string>

namespace vistrel {

// A file name split the way the archive names need it: directory (with its trailing separator),
// base name, and extension (with its dot; empty when the name has none).
struct SplitName {
    std::string dir;
    std::string base;
    std::string ext;
};

// Splits a local path at its last '/'; the extension starts at the last '.' of the file name.
SplitName SplitLocalName(const std::string& path);
// Splits a remote name; both '/' and '\' end a directory part, as in names stored by earlier
// versions of the program.
SplitName SplitRemoteName(const std::string& name);

// Local slot k of the picture file: directory + base + k (at least two digits) + extension.
// "/web/cam.jpg", 3 → "/web/cam03.jpg"; "/web/cam", 1 → "/web/cam01".
std::string LocalSlotName(const std::string& saveAsFilename, int k);
// Remote slot k, always in the current remote directory: base + k + extension.
// "cams/live.jpg", 1 → "live01.jpg".
std::string RemoteSlotName(const std::string& ftpFilename, int k);
// The temporary upload name: base name + ".tmp" ("cams/live.jpg" → "live.tmp"), or, when that
// is the target's own file name (letter case aside), the file name + ".tmp" ("live.tmp" →
// "live.tmp.tmp").
std::string RemoteTempName(const std::string& ftpFilename);

struct ArchiveSettings {
    int interval = 0; // UploadOptions/ArchiveInterval: turn every this many captures; 0 = off
    int count = 0;    // UploadOptions/NumberOfArchives: slots; 0 = off
    int order = 0;    // UploadOptions/ArchiveOrder: 0 = most recent in slot 01, else in slot N
    bool deleteBeforeMove = false; // Options/DeleteBeforeMove (server side only)
};

// The archive turns when both settings are on and the counter has reached the interval.
bool ArchiveDue(const ArchiveSettings& s, int currentUpload);

// Turns the local archive of saveAsFilename before the new picture is copied over it. Copies
// overwrite their target; a failed copy (a slot that does not exist yet) is skipped.
void RotateLocalArchive(const ArchiveSettings& s, const std::string& saveAsFilename);

// Turns the server-side archive in the current remote directory. Session needs
//   bool DeleteFile(const std::string&)        (a missing file counts as deleted)
//   bool RenameTolerant(const std::string& from, const std::string& to)
//                                              (a missing source counts as done)
// Stops at the first step that fails and returns false; the session keeps the reply.
template <class Session>
bool RotateRemoteArchive(const ArchiveSettings& s, const std::string& ftpFilename, Session& session)
{
    const int n = s.count;
    auto move = [&](const std::string& from, const std::string& to) {
        if (s.deleteBeforeMove && !session.DeleteFile(to))
            return false;
        return session.RenameTolerant(from, to);
    };
    if (s.order == 0) {
        for (int k = n; k >= 2; --k) {
            if (!move(RemoteSlotName(ftpFilename, k - 1), RemoteSlotName(ftpFilename, k)))
                return false;
        }
        return move(ftpFilename, RemoteSlotName(ftpFilename, 1));
    }
    for (int k = 1; k <= n - 1; ++k) {
        if (!move(RemoteSlotName(ftpFilename, k + 1), RemoteSlotName(ftpFilename, k)))
            return false;
    }
    return move(ftpFilename, RemoteSlotName(ftpFilename, n));
}

} // namespace vistrel
