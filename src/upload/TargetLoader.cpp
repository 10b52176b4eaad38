// The upload-target module is loaded here on first use, so the programs never link libcurl.
#include "upload/TargetLoader.h"

#include "platform/Autostart.h"
#include "upload/TargetModule.h"
#include "vistrel/Version.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace vistrel {

namespace {

constexpr const char* kModuleFile = "targets.so";

std::string ProgramFolder()
{
    const std::string exe = RunningProgramPath();
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::mutex g_mutex;
const VistrelTargetModule* g_module = nullptr; // stays loaded for the life of the process
std::string g_loadedPath;

// With g_mutex held.
std::string Load(const VistrelTargetModule*& module)
{
    const std::string path = TargetModulePath();
    module = path == g_loadedPath ? g_module : nullptr;
    if (module)
        return {};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::string("SFTP, WebDAV and S3 uploads need the ") + kTargetsPackage +
               " package, which is not installed (" + path + " is missing).";
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        return "The upload-target module " + path + " cannot be loaded (" +
               (why ? why : "unknown error") + "); reinstall the " + kTargetsPackage + " package.";
    }
    using Entry = const VistrelTargetModule* (*)();
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, VISTREL_TARGETS_ENTRY));
    module = entry ? entry() : nullptr;
    if (!module || module->abiVersion != kTargetModuleAbi ||
        module->settingsSize != sizeof(TargetSettings) || !module->create ||
        std::string(module->programVersion ? module->programVersion : "") != kVersionString) {
        ::dlclose(handle);
        module = nullptr;
        return "The upload-target module " + path + " does not belong to Vistrel " +
               kVersionString + "; install the " + kTargetsPackage + " package of the same " +
               "version.";
    }
    g_module = module;
    g_loadedPath = path;
    return {};
}

} // namespace

std::string TargetModulePath()
{
    if (const char* dir = ::secure_getenv("VISTREL_TARGETS_DIR"); dir && *dir)
        return std::string(dir) + "/" + kModuleFile;
    return ProgramFolder() + "/" VISTREL_TARGETS_RELATIVE_DIR "/" + kModuleFile;
}

std::unique_ptr<TargetSession> MakeTargetSession(const TargetSettings& settings, std::string* error)
{
    std::lock_guard lock(g_mutex);
    const VistrelTargetModule* module = nullptr;
    if (std::string why = Load(module); !why.empty()) {
        if (error)
            *error = std::move(why);
        return nullptr;
    }
    return std::unique_ptr<TargetSession>(module->create(&settings));
}

} // namespace vistrel
