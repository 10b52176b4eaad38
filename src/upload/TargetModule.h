#pragma once

// The boundary between the programs and the upload-target module (SFTP, WebDAV and S3 over
// libcurl), which is loaded with dlopen only when one of those targets is chosen, so that FTP
// users never load libcurl or libssh2. The module exports one C function that hands back this
// table; the loader refuses a table whose version or type sizes differ from its own.

#include "upload/UploadTarget.h"

extern "C" {

struct VistrelTargetModule {
    unsigned abiVersion;
    unsigned settingsSize; // sizeof(TargetSettings)
    const char* programVersion;
    // A new session, owned by the caller (deleted through its virtual destructor).
    vistrel::TargetSession* (*create)(const vistrel::TargetSettings* settings);
};

// The exported function: const VistrelTargetModule* vistrel_targets_module(void).
#define VISTREL_TARGETS_ENTRY "vistrel_targets_module"

} // extern "C"

namespace vistrel {

// Raised whenever the table or the types it passes change.
constexpr unsigned kTargetModuleAbi = 1;

} // namespace vistrel
