#pragma once

// The boundary between the programs and the network-camera module (HTTP and RTSP cameras over
// libcurl and FFmpeg's libraries), which is loaded with dlopen only when a network camera is
// used, so that a USB camera or the test pattern never pays for those libraries. The module
// exports one C function that hands back this table; the loader refuses a table whose version or
// type sizes differ from its own, as they would for a module of another build.

#include "capture/CaptureBackend.h"
#include "capture/NetworkCamera.h"

extern "C" {

struct VistrelNetcamModule {
    unsigned abiVersion;
    unsigned settingsSize; // sizeof(NetworkCameraSettings)
    unsigned limitsSize;   // sizeof(NetworkCameraLimits)
    const char* programVersion;
    // A new back-end, owned by the caller (deleted through its virtual destructor).
    vistrel::CaptureBackend* (*create)(const vistrel::NetworkCameraSettings* camera,
                                       const vistrel::NetworkCameraLimits* limits);
};

// The name of the exported function: const VistrelNetcamModule* vistrel_netcam_module(void).
#define VISTREL_NETCAM_ENTRY "vistrel_netcam_module"

} // extern "C"

namespace vistrel {

// Raised whenever the table or the types it passes change.
constexpr unsigned kNetcamModuleAbi = 1;

} // namespace vistrel
