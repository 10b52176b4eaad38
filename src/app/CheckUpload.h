#pragma once

#include "config/LiveSettings.h"
#include "upload/UploadTarget.h"

#include <string>
#include <vector>

namespace vistrel {

// The upload check proves that a cycle can publish to the chosen target. For FTP it is the FTP
// check (app/CheckFtp.h). For SFTP, WebDAV and S3 it does with a probe of its own
// ("vistrel-check-<random>.jpg") what a cycle does: log on, store (under the temporary name,
// or in place for S3 and NoTempFile), rename into place (S3: a server-side copy), one archive
// step when an archive is configured (a rename, for S3 a copy), and delete. The steps stop at
// the first failure; what the probe left behind is deleted all the same.
struct UploadCheckStep {
    std::string name; // "log on", "store", "rename" or "copy", "archive", "delete"
    bool ok = false;
    std::string detail;
};

struct UploadCheckReport {
    TargetKind kind = TargetKind::Ftp;
    std::vector<UploadCheckStep> steps;
    bool ok = false;
};

// Runs the check for a target other than FTP with the given session maker (the module's when
// none is given).
UploadCheckReport RunTargetCheck(const LiveSettings& settings, TargetKind kind,
                                 const TargetSessionFactory& factory = {});

// One verdict line per step, then "SFTP check passed: …" or "SFTP check failed at the <step>
// step: …".
std::string FormatUploadCheck(const UploadCheckReport& report);

// The check for the settings' target in one: out receives the text; true when every step
// passed. An unknown UploadOptions/UploadTarget fails with the reason. (vistreld --check-upload
// and the Location page's Test button run this.)
bool CheckUpload(const LiveSettings& settings, std::string& out);

} // namespace vistrel
