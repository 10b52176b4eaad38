#pragma once

#include "upload/UploadTarget.h"

namespace vistrel {

// A session for settings.kind (SFTP, WebDAV or S3), owned by the caller; nullptr for FTP, which
// is not this module's.
TargetSession* MakeCurlTargetSession(const TargetSettings& settings);

} // namespace vistrel
