// MakeNetworkCameraBackend for the programs: the back-ends live in the network-camera module,
// loaded here on first use, so the programs themselves never link libcurl or FFmpeg.
#include "capture/NetworkCameraLoader.h"

#include "capture/NetworkCameraModule.h"
#include "platform/ModuleFile.h"
#include "vistrel/Version.h"

#include <mutex>

namespace vistrel {

namespace {

constexpr ModuleTexts kTexts{"Network cameras", "The network camera module", kNetcamPackage};

bool Fits(const void* loaded)
{
    const auto* m = static_cast<const VistrelNetcamModule*>(loaded);
    return m->abiVersion == kNetcamModuleAbi && m->settingsSize == sizeof(NetworkCameraSettings) &&
           m->limitsSize == sizeof(NetworkCameraLimits) && m->create &&
           std::string(m->programVersion ? m->programVersion : "") == kVersionString;
}

ModuleSlot g_slot(VISTREL_NETCAM_ENTRY, kTexts, Fits);
std::mutex g_making; // back-ends are made one at a time, as the module expects

// Stands in for a network camera while the module cannot be had: it never connects, and says
// what to install.
class UnavailableNetworkCamera : public CaptureBackend {
  public:
    UnavailableNetworkCamera(std::string name, std::string why)
        : m_strName(std::move(name)), m_strWhy(std::move(why))
    {
    }
    std::string description() const override { return m_strName; }
    bool open() override { return false; }
    void close() override {}
    bool currentSize(FrameSize&) const override { return false; }
    std::vector<FrameSize> frameSizes() override { return {}; }
    bool setSize(FrameSize) override { return false; }
    bool startStream() override { return false; }
    void stopStream() override {}
    bool streaming() const override { return false; }
    bool readFrame(RgbFrame&) override { return false; }
    std::vector<CaptureControl> controls() override { return {}; }
    bool setControl(std::uint32_t, std::int32_t) override { return false; }
    std::string lastError() const override { return m_strWhy; }

  private:
    std::string m_strName;
    std::string m_strWhy;
};

} // namespace

std::string NetworkCameraModulePath()
{
    return ModuleFilePath("VISTREL_NETCAM_DIR", VISTREL_NETCAM_RELATIVE_DIR, "netcam.so");
}

std::string NetworkCameraModuleProblem(bool load)
{
    const std::string path = NetworkCameraModulePath();
    std::string why;
    if (!load)
        return g_slot.Problem(path);
    g_slot.Get(path, &why);
    return why;
}

std::unique_ptr<CaptureBackend> MakeNetworkCameraBackend(const NetworkCameraSettings& camera,
                                                         const NetworkCameraLimits& limits)
{
    std::string why;
    const auto* module =
        static_cast<const VistrelNetcamModule*>(g_slot.Get(NetworkCameraModulePath(), &why));
    if (!module)
        return std::make_unique<UnavailableNetworkCamera>(camera.name, std::move(why));
    const std::lock_guard lock(g_making);
    return std::unique_ptr<CaptureBackend>(module->create(&camera, &limits));
}

} // namespace vistrel
