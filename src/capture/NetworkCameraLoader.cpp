// MakeNetworkCameraBackend for the programs: the back-ends live in the network-camera module,
// loaded here on first use, so the programs themselves never link libcurl or FFmpeg.
#include "capture/NetworkCameraLoader.h"

#include "capture/NetworkCameraModule.h"
#include "platform/Autostart.h"
#include "vistrel/Version.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace vistrel {

namespace {

constexpr const char* kModuleFile = "netcam.so";

std::string ProgramFolder()
{
    const std::string exe = RunningProgramPath();
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::mutex g_mutex;
// The module last loaded and where from. A module stays loaded for the life of the process (the
// back-ends' code is in it); when the folder looked in changes, the new one is what counts.
const VistrelNetcamModule* g_module = nullptr;
std::string g_loadedPath;

// With g_mutex held. With load false only whether the file is there.
std::string Load(const VistrelNetcamModule*& module, bool load = true)
{
    const std::string path = NetworkCameraModulePath();
    module = path == g_loadedPath ? g_module : nullptr;
    if (module)
        return {};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::string("Network cameras need the ") + kNetcamPackage +
               " package, which is not installed (" + path + " is missing).";
    if (!load)
        return {};
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        return "The network camera module " + path + " cannot be loaded (" +
               (why ? why : "unknown error") + "); reinstall the " + kNetcamPackage + " package.";
    }
    using Entry = const VistrelNetcamModule* (*)();
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, VISTREL_NETCAM_ENTRY));
    module = entry ? entry() : nullptr;
    if (!module || module->abiVersion != kNetcamModuleAbi ||
        module->settingsSize != sizeof(NetworkCameraSettings) ||
        module->limitsSize != sizeof(NetworkCameraLimits) || !module->create ||
        std::string(module->programVersion ? module->programVersion : "") != kVersionString) {
        ::dlclose(handle);
        module = nullptr;
        return "The network camera module " + path + " does not belong to Vistrel " +
               kVersionString + "; install the " + kNetcamPackage + " package of " +
               "the same version.";
    }
    g_module = module; // the handle stays open
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
    if (const char* dir = ::secure_getenv("VISTREL_NETCAM_DIR"); dir && *dir)
        return std::string(dir) + "/" + kModuleFile;
    return ProgramFolder() + "/" VISTREL_NETCAM_RELATIVE_DIR "/" + kModuleFile;
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
