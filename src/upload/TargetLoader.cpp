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

bool Fits(const void* loaded)
{
    const auto* m = static_cast<const VistrelTargetModule*>(loaded);
    return m->abiVersion == kTargetModuleAbi && m->settingsSize == sizeof(TargetSettings) &&
           m->create && std::string(m->programVersion ? m->programVersion : "") == kVersionString;
}

ModuleSlot g_slot(VISTREL_TARGETS_ENTRY, kTexts, Fits);
std::mutex g_making; // sessions are made one at a time (each sets up libcurl's global state)

} // namespace

std::string TargetModulePath()
{
    return ModuleFilePath("VISTREL_TARGETS_DIR", VISTREL_TARGETS_RELATIVE_DIR, "targets.so");
}

std::unique_ptr<TargetSession> MakeTargetSession(const TargetSettings& settings, std::string* error)
{
    const auto* module =
        static_cast<const VistrelTargetModule*>(g_slot.Get(TargetModulePath(), error));
    if (!module)
        return nullptr;
    const std::lock_guard lock(g_making);
    return std::unique_ptr<TargetSession>(module->create(&settings));
}

} // namespace vistrel
