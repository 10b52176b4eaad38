#pragma once

// The program's loadable modules (network cameras, upload targets): where one is looked for and
// how it is opened and checked, with the texts that tell the user which package to install.

#include <string>

namespace vistrel {

// The module file named file: in the folder the environment variable envVar names when it is
// set and not empty, otherwise in relativeDir beside the running program's own folder (so that
// the build tree and an installed tree both work).
std::string ModuleFilePath(const char* envVar, const char* relativeDir, const char* file);

// What a module is called in the texts a failure gives.
struct ModuleTexts {
    const char* needs;  // "Network cameras": "… need the PACKAGE package, which is not installed"
    const char* module; // "The network camera module": "… PATH cannot be loaded"
    const char* package; // the Debian package that installs it
};

// Why the module file at path is not there (empty when it is).
std::string MissingModuleProblem(const std::string& path, const ModuleTexts& texts);

// Opens the module at path and calls its entry function. The result is handed to fits, which
// says whether it is of this program's version and structures; a module that does not fit is
// closed again. Returns what the entry gave (the module stays loaded for the life of the
// process), or nullptr with *problem saying what is wrong and what to install.
const void* OpenModuleFile(const std::string& path, const char* entry, const ModuleTexts& texts,
                           bool (*fits)(const void* module), std::string* problem);

} // namespace vistrel
