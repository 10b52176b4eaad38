#pragma once

#include "capture/CaptureSession.h"
#include "config/LiveSettings.h"
#include "imaging/ComposeAndSave.h"
#include "upload/UploadThread.h"

namespace vistrel {

// The live settings as each subsystem takes them.
UploadSettings ToUploadSettings(const LiveSettings& live, int logonType);
// The TLS settings of every FTP session: the upload cycle's, vistreld --check-ftp's and the
// directory browser's.
FtpSecuritySettings ToFtpSecuritySettings(const LiveSettings& live);
ComposeSettings ToComposeSettings(const LiveSettings& live);
// The device settings plus the stored video format, read from the file at this moment.
CaptureSettings ToCaptureSettings(const LiveSettings& live);

} // namespace vistrel
