#pragma once

// The program's loadable modules (network cameras, upload targets): where one is looked for and
// how it is opened and checked, with the texts that tell the user which package to install.

#include <mutex>
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

// One module of the process: opened on first use and kept loaded for the life of the process
// (the code of what it makes lives in it). When the path asked for changes (the environment names
// another folder), the file there is what counts. Safe to use from several threads.
class ModuleSlot {
  public:
    ModuleSlot(const char* entry, const ModuleTexts& texts, bool (*fits)(const void* module))
        : m_entry(entry), m_texts(texts), m_fits(fits)
    {
    }
    // The module at path (see OpenModuleFile), or nullptr with *problem.
    const void* Get(const std::string& path, std::string* problem);
    // Without opening anything: empty when the module at path is loaded or its file is there,
    // otherwise what to install (see MissingModuleProblem).
    std::string Problem(const std::string& path);

  private:
    std::mutex m_mutex;
    const char* m_entry;
    ModuleTexts m_texts;
    bool (*m_fits)(const void*);
    const void* m_module = nullptr; // the one last opened, from m_path
    std::string m_path;
};

} // namespace vistrel
