// The upload-target module's entry point: the only symbol it exports.
#include "targets/CurlTargets.h"
#include "upload/TargetModule.h"
#include "vistrel/Version.h"

namespace {

vistrel::TargetSession* Create(const vistrel::TargetSettings* settings)
{
    return vistrel::MakeCurlTargetSession(*settings);
}

} // namespace

extern "C" __attribute__((visibility("default"))) const VistrelTargetModule*
vistrel_targets_module(void)
{
    static const VistrelTargetModule table = {vistrel::kTargetModuleAbi,
                                              sizeof(vistrel::TargetSettings),
                                              vistrel::kVersionString, &Create};
    return &table;
}
