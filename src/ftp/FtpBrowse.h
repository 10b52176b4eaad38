#pragma once

#include "ftp/FtpConnection.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace vistrel {

// What the FTP directory browser logs on with: the log-on a cycle would make with the Location
// page's current values (the settings file's for what the page does not show).
struct FtpBrowseSettings {
    FtpConnection connection;
    std::string directory; // where browsing starts; OK hands the chosen directory back here
    // Set by the browser's Cancel: a listing under way ends at once.
    std::shared_ptr<const std::atomic<bool>> cancelled;
};

// What one browser action found. messages are the failures to show, in order (a failed change
// of directory is reported and the action goes on).
struct FtpBrowseOutcome {
    bool ok = false;
    std::vector<std::string> messages;
    std::string directory;            // the server's current directory (PWD)
    std::vector<std::string> entries; // its sub-directories, in the listing's order
};

// The sub-directories named by a LIST reply. Lines end at LF (a CR before it is dropped with the
// other trailing blanks); an empty line ends the listing, and so does the end of the data (a last
// line without LF still counts). A line names a directory when it begins with "d" after its
// leading blanks: in the Unix form (nine or more fields) the name is everything after the eighth
// field, so names with spaces stay whole; in other forms it is the last word. Files, symbolic
// links ("l…", whose target may or may not be a directory) and the entries "." and ".." are left
// out.
std::vector<std::string> ParseDirectoryListing(const std::string& listing);

// The directory a PWD reply names: the text between its first double quote and the closing one,
// a doubled quote inside standing for one quote. Empty when the reply has no quoted text.
std::string ParsePwdReply(const std::string& reply);

// dir followed by "/" (unless dir is empty or already ends with "/") and name.
std::string JoinRemotePath(const std::string& dir, const std::string& name);

// One browse: its own session (the connection's time-out, passive as set, direct or through the
// proxy), log-on, change to directory unless it is empty, list, PWD, quit. Blocks for as long as
// the server takes, but the listing ends at 16 MiB, after two minutes, or when settings.cancelled
// is set; the browser runs it off the user-interface thread.
FtpBrowseOutcome BrowseFtpDirectory(const FtpBrowseSettings& settings,
                                    const std::string& directory);

// Makes the directory name in parent (the current directory when parent is empty), with a
// session of its own as above.
FtpBrowseOutcome MakeFtpDirectory(const FtpBrowseSettings& settings, const std::string& parent,
                                  const std::string& name);

} // namespace vistrel
