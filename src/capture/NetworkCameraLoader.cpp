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

std::mutex g_mutex;
// The module last loaded and where from. A module stays loaded for the life of the process (the
// back-ends' code is in it); when the folder looked in changes, the new one is what counts.
const VistrelNetcamModule* g_module = nullptr;
std::string g_loadedPath;

bool Fits(const void* loaded)
{
    const auto* m = static_cast<const VistrelNetcamModule*>(loaded);
    return m->abiVersion == kNetcamModuleAbi && m->settingsSize == sizeof(NetworkCameraSettings) &&
           m->limitsSize == sizeof(NetworkCameraLimits) && m->create &&
           std::string(m->programVersion ? m->programVersion : "") == kVersionString;
}

// With g_mutex held. With load false only whether the file is there.
std::string Load(const VistrelNetcamModule*& module, bool load = true)
{
    const std::string path = NetworkCameraModulePath();
    module = path == g_loadedPath ? g_module : nullptr;
    if (module)
        return {};
    if (!load)
        return MissingModuleProblem(path, kTexts);
    std::string why;
    module = static_cast<const VistrelNetcamModule*>(
        OpenModuleFile(path, VISTREL_NETCAM_ENTRY, kTexts, Fits, &why));
    if (!module)
        return why;
    g_module = module;
    g_loadedPath = path;
    return {};
}

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
    std::lock_guard lock(g_mutex);
    const VistrelNetcamModule* module = nullptr;
    return Load(module, load);
}

std::unique_ptr<CaptureBackend> MakeNetworkCameraBackend(const NetworkCameraSettings& camera,
                                                         const NetworkCameraLimits& limits)
{
    std::lock_guard lock(g_mutex);
    const VistrelNetcamModule* module = nullptr;
    if (std::string why = Load(module); !why.empty())
        return std::make_unique<UnavailableNetworkCamera>(camera.name, std::move(why));
    return std::unique_ptr<CaptureBackend>(module->create(&camera, &limits));
}

} // namespace vistrel
