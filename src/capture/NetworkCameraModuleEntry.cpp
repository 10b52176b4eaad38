// The network-camera module's entry point: the only symbol it exports.
#include "capture/HttpCameraBackend.h"
#include "capture/NetworkCameraModule.h"
#include "capture/RtspCameraBackend.h"
#include "vistrel/Version.h"

namespace {

vistrel::CaptureBackend* Create(const vistrel::NetworkCameraSettings* camera,
                                const vistrel::NetworkCameraLimits* limits)
{
    using namespace vistrel;
    if (NetworkCameraKindOf(camera->url) == NetworkCameraKind::Rtsp)
        return new RtspCameraBackend(*camera, *limits);
    // Anything else too, which then refuses to connect and says why.
    return new HttpCameraBackend(*camera, *limits);
}

} // namespace

extern "C" __attribute__((visibility("default"))) const VistrelNetcamModule*
vistrel_netcam_module(void)
{
    static const VistrelNetcamModule table = {
        vistrel::kNetcamModuleAbi, sizeof(vistrel::NetworkCameraSettings),
        sizeof(vistrel::NetworkCameraLimits), vistrel::kVersionString, &Create};
    return &table;
}
