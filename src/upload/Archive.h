#pragma once

#include <string>
#include <utility>
#include <vector>

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

// Turns the local archive of saveAsFilename before the new picture is copied over it. Each copy
// replaces its target by rename (a reader never sees half a picture); a slot that does not exist
// yet is skipped. A copy that fails (a full disk) stops the turn there and returns false with
// *error set: the slots already shifted hold whole pictures, the rest keep theirs, and none is
// emptied. The oldest picture leaves first, as in a turn that succeeds.
bool RotateLocalArchive(const ArchiveSettings& s, const std::string& saveAsFilename,
                        std::string* error = nullptr);

// The local step of a cycle: turns the archive when turn is set, then copies picture over
// saveAsFilename. After a failed turn the local file is left as it is, so the picture that was
// to move into the archive is not lost either. False with *error set when a step failed.
bool SaveLocalCopy(const std::string& picture, const std::string& saveAsFilename,
                   const ArchiveSettings& s, bool turn, std::string* error);

// The moves of one turn of an archive of s.count slots, in order, each (from, to): the older
// slots shift by one (the oldest picture is overwritten) and current moves into the newest slot.
// slotName gives slot k's name (LocalSlotName or RemoteSlotName).
using SlotNamer = std::string (*)(const std::string& current, int k);
std::vector<std::pair<std::string, std::string>>
ArchiveMoves(const ArchiveSettings& s, const std::string& current, SlotNamer slotName);

// Turns the server-side archive in the current remote directory. Session needs
//   bool DeleteFile(const std::string&)        (a missing file counts as deleted)
//   bool RenameTolerant(const std::string& from, const std::string& to)
//                                              (a missing source counts as done)
// Stops at the first step that fails and returns false; the session keeps the reply.
template <class Session>
bool RotateRemoteArchive(const ArchiveSettings& s, const std::string& ftpFilename, Session& session)
{
    for (const auto& [from, to] : ArchiveMoves(s, ftpFilename, RemoteSlotName)) {
        if (s.deleteBeforeMove && !session.DeleteFile(to))
            return false;
        if (!session.RenameTolerant(from, to))
            return false;
    }
    return true;
}

} // namespace vistrel
