#pragma once

#include "upload/UploadTarget.h"

#include <memory>
#include <string>

namespace vistrel {

// The package that holds the upload-target module, for the messages that name it.
constexpr const char* kTargetsPackage = "vistrel-targets";

// Where the upload-target module is looked for: the folder named by $VISTREL_TARGETS_DIR when it
// is set, otherwise the program's own library folder (beside the network-camera module).
std::string TargetModulePath();

// A session for a non-FTP target, from the module (loaded on first use, then kept). Without the
// module, or with one of another build, nullptr with *error saying what to install.
std::unique_ptr<TargetSession> MakeTargetSession(const TargetSettings& settings,
                                                 std::string* error);

} // namespace vistrel
