#pragma once

#include "config/KeyCatalogue.h"
#include "ftp/FtpSecurity.h"

#include "ui/dialogs/CFtpProxyDialog.h"

#include <string>
#include <vector>

namespace vistrel {

// What the FTP directory browser logs on with: the Location page's current values, and the port
// and time-out from the settings file (the page has fields for neither), as a cycle would.
struct FtpBrowseSettings {
    std::string host;
    int port = keys::UploadOptions::FTPPort.programDefaultInt();
    int timeout = keys::UploadOptions::FTPTimeOut.programDefaultInt(); // seconds, from the file
    std::string user;
    std::string password;
    bool passive = false;
    bool useProxy = false;
    ProxySettings proxy;
    FtpSecuritySettings security; // TLS as the page shows it, the fingerprint from the file
    std::string directory;        // where browsing starts; OK hands the chosen directory back here
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

// One browse: its own session (90-second time-out, passive as set, direct or through the proxy),
// log-on, change to directory unless it is empty, list, PWD, quit. Blocks for as long as the
// server takes; the browser runs it off the user-interface thread.
FtpBrowseOutcome BrowseFtpDirectory(const FtpBrowseSettings& settings,
                                    const std::string& directory);

// Makes the directory name in parent (the current directory when parent is empty), with a
// session of its own as above.
FtpBrowseOutcome MakeFtpDirectory(const FtpBrowseSettings& settings, const std::string& parent,
                                  const std::string& name);

} // namespace vistrel
