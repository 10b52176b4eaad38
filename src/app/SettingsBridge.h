#pragma once

#include "capture/CaptureDrivers.h"
#include "capture/CaptureSession.h"
#include "config/LiveSettings.h"
#include "imaging/ComposeAndSave.h"
#include "upload/FtpConnectionSettings.h"
#include "upload/UploadThread.h"

namespace vistrel {

// The live settings as each subsystem takes them.
UploadSettings ToUploadSettings(const LiveSettings& live);
ComposeSettings ToComposeSettings(const LiveSettings& live);
// The device settings plus the stored video format, read from the file at this moment.
CaptureSettings ToCaptureSettings(const LiveSettings& live);

// The network cameras of the settings file ([NetworkCameras]), read afresh.
std::vector<NetworkCameraSlot> NetworkCamerasFromSettings();
// Lets the driver list take its network cameras from the settings file, unless it has a source
// already.
void UseNetworkCamerasFromSettings(CaptureDriverList& drivers);

} // namespace vistrel
