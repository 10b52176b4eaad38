#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vistrel {

// Where a cycle publishes its picture. FTP (and FTPS) is the program's own client; the others
// live in the upload-target module (libcurl), loaded only when one of them is chosen.
enum class TargetKind { Ftp, Sftp, WebDav, S3 };

// UploadOptions/UploadTarget as a kind: "ftp" (and an empty value), "sftp", "webdav", "s3",
// without regard to letter case or surrounding blanks. Any other word is refused (false, with
// *error naming the key, the word and the choices): a cycle never falls back to another target.
bool ParseUploadTarget(const std::string& word, TargetKind* kind, std::string* error);

// The name the status texts and the error log use: "FTP", "SFTP", "WebDAV", "S3".
const char* TargetLabel(TargetKind kind);

// The settings a non-FTP target works with, copied from the live settings when a cycle starts.
// Names given to a session are relative to the target's folder (directory, URL or prefix).
struct TargetSettings {
    TargetKind kind = TargetKind::Ftp;
    int timeoutSeconds = 45; // connecting, and a transfer that stops moving
    // SFTP: the FTP fields as they are.
    std::string server;
    int port = 22;
    std::string username;
    std::string password;   // clear text; also WebDAV's
    std::string directory;  // relative to the log-on folder unless it starts with '/'; S3: prefix
    std::string hostKey;    // "SHA256:…" as ssh-keygen -lf prints it; empty: use knownHosts
    std::string knownHosts; // a known-hosts file
    std::string keyFile;    // a private key file; empty: log on by password
    std::string keyPassphrase;
    // WebDAV: the folder's URL; the certificate as for FTPS.
    std::string url;
    bool verifyCertificate = true;
    std::string certificateFingerprint; // SHA-256 of the certificate (hex, colons allowed)
    // S3-compatible storage.
    std::string endpoint; // "https://s3.example.net"; the bucket goes into the path or the host
    std::string region;
    std::string bucket;
    std::string accessKey;
    std::string secret;
    std::string cacheControl;
    std::string storageClass;
    // Asked often while a request runs; true ends it at once (the program is shutting down).
    std::function<bool()> cancelled;
};

// One connection to a non-FTP target. Each call is one step of a cycle; false means the step
// failed and Message() says why, with the server's own reason where it gave one. The secret and
// the password never appear in a message.
class TargetSession {
  public:
    virtual ~TargetSession() = default;
    // Connects and logs on (SFTP: checks the host key first). WebDAV and S3 connect with their
    // first request, so for them it only checks the settings.
    virtual bool Open() = 0;
    // Stores the local file under name, replacing what is there.
    virtual bool Store(const std::string& localPath, const std::string& name) = 0;
    // Puts from in to's place, replacing to.
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    // As Rename, but a from that does not exist counts as done (an archive slot not yet filled).
    virtual bool RenameTolerant(const std::string& from, const std::string& to) = 0;
    // Deletes name; a name that does not exist counts as deleted.
    virtual bool DeleteFile(const std::string& name) = 0;
    virtual std::string Message() const = 0;
};

// Makes a session for a target, or nullptr with *error saying why not (the module's maker is
// MakeTargetSession in upload/TargetLoader.h; tests give their own).
using TargetSessionFactory =
    std::function<std::unique_ptr<TargetSession>(const TargetSettings&, std::string* error)>;

} // namespace vistrel
