#pragma once

#include <string>

namespace vistrel {

// Files that other readers may open at any moment (the picture of the last cycle, the local copy
// and its archive, a grabbed frame) are never written in place: the new contents go to a fresh
// temporary file beside the target, which is then renamed over it. A reader sees the old file or
// the new one, never a part of either, and a write that fails (a full disk) leaves the old file
// as it was.
//
// The temporary file is ".<name>.vistrel-XXXXXX" in the target's folder, created exclusively
// with mode 0666 less the umask, or with the mode of the file it replaces. A target that is a
// symbolic link is written through (FollowSymlinks): the link stays a link. With followLinks
// false the link itself is replaced (for files in the private temporary directory, where a link
// can only be a trap).
class FileReplacement {
  public:
    explicit FileReplacement(const std::string& target, bool followLinks = true);
    // Removes the temporary file unless Commit succeeded.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the temporary file. False with *error set when it cannot be made.
    bool Create(std::string* error);
    // The temporary file, for writers that take a path (it exists, empty, after Create).
    const std::string& TemporaryPath() const { return m_temp; }
    // Its descriptor, open for writing; closed by Commit.
    int Descriptor() const { return m_fd; }

    // Closes the temporary file and renames it over the target. False with *error set when the
    // close or the rename fails; the target is then untouched.
    bool Commit(std::string* error);

  private:
    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
    bool m_bCommitted = false;
};

// Where writing to path ends up: path itself, or for a symbolic link (a chain of them) the file
// it points to, whether or not that exists yet. Relative link targets are taken from the link's
// folder. A chain longer than 40 links gives path unchanged (opening it then fails).
std::string FollowSymlinks(const std::string& path);

// The temporary name pattern of a target: its folder, '.', its file name, ".vistrel-". Six
// characters [A-Za-z0-9] follow it.
std::string ReplacementPrefix(const std::string& target);

// Removes the temporary files of target's replacements that a writer killed before its rename
// left behind: names of exactly the pattern of ReplacementPrefix (six characters [A-Za-z0-9]
// after it), regular files not changed for minAgeSeconds (so that one another process is still
// writing stays). Nothing else in the folder is touched. Returns how many were removed.
int RemoveAbandonedReplacements(const std::string& target, int minAgeSeconds = 0);

// Copies from over to by way of a FileReplacement. A source that does not exist gives false with
// *missing set (when given) and the target untouched. Texts: "Cannot read <from>: <reason>",
// "Cannot write <to>: <reason>".
bool CopyFileReplacing(const std::string& from, const std::string& to, std::string* error,
                       bool* missing = nullptr);

} // namespace vistrel
