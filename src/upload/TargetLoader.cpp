// The upload-target module is loaded here on first use, so the programs never link libcurl.
#include "upload/TargetLoader.h"

#include "platform/ModuleFile.h"
#include "upload/TargetModule.h"
#include "vistrel/Version.h"

#include <mutex>

namespace vistrel {

namespace {

constexpr ModuleTexts kTexts{"SFTP, WebDAV and S3 uploads", "The upload-target module",
                             kTargetsPackage};

std::mutex g_mutex;
const VistrelTargetModule* g_module = nullptr; // stays loaded for the life of the process
std::string g_loadedPath;

bool Fits(const void* loaded)
{
    const auto* m = static_cast<const VistrelTargetModule*>(loaded);
    return m->abiVersion == kTargetModuleAbi && m->settingsSize == sizeof(TargetSettings) &&
           m->create && std::string(m->programVersion ? m->programVersion : "") == kVersionString;
}

// With g_mutex held.
std::string Load(const VistrelTargetModule*& module)
{
    const std::string path = TargetModulePath();
    module = path == g_loadedPath ? g_module : nullptr;
    if (module)
        return {};
    std::string why;
    module = static_cast<const VistrelTargetModule*>(
        OpenModuleFile(path, VISTREL_TARGETS_ENTRY, kTexts, Fits, &why));
    if (!module)
        return why;
    g_module = module;
    g_loadedPath = path;
    return {};
}

} // namespace

std::string TargetModulePath()
{
    return ModuleFilePath("VISTREL_TARGETS_DIR", VISTREL_TARGETS_RELATIVE_DIR, "targets.so");
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
