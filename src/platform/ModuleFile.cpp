#include "platform/ModuleFile.h"

#include "platform/Autostart.h"
#include "vistrel/Version.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>

namespace vistrel {

std::string ModuleFilePath(const char* envVar, const char* relativeDir, const char* file)
{
    if (const char* dir = ::secure_getenv(envVar); dir && *dir)
        return std::string(dir) + "/" + file;
    const std::string exe = RunningProgramPath();
    const auto slash = exe.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : exe.substr(0, slash);
    return folder + "/" + relativeDir + "/" + file;
}

std::string MissingModuleProblem(const std::string& path, const ModuleTexts& texts)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return {};
    return std::string(texts.needs) + " need the " + texts.package +
           " package, which is not installed (" + path + " is missing).";
}

const void* OpenModuleFile(const std::string& path, const char* entry, const ModuleTexts& texts,
                           bool (*fits)(const void* module), std::string* problem)
{
    std::string why = MissingModuleProblem(path, texts);
    if (why.empty()) {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* error = ::dlerror();
            why = std::string(texts.module) + " " + path + " cannot be loaded (" +
                  (error ? error : "unknown error") + "); reinstall the " + texts.package +
                  " package.";
        } else {
            using Entry = const void* (*)();
            auto call = reinterpret_cast<Entry>(::dlsym(handle, entry));
            const void* module = call ? call() : nullptr;
            if (module && fits(module))
                return module; // the handle stays open
            ::dlclose(handle);
            why = std::string(texts.module) + " " + path + " does not belong to Vistrel " +
                  kVersionString + "; install the " + texts.package +
                  " package of the same version.";
        }
    }
    if (problem)
        *problem = std::move(why);
    return nullptr;
}

const void* ModuleSlot::Get(const std::string& path, std::string* problem)
{
    const std::lock_guard lock(m_mutex);
    if (m_module && path == m_path)
        return m_module;
    const void* module = OpenModuleFile(path, m_entry, m_texts, m_fits, problem);
    if (module) {
        m_module = module;
        m_path = path;
    }
    return module;
}

std::string ModuleSlot::Problem(const std::string& path)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_module && path == m_path)
            return {};
    }
    return MissingModuleProblem(path, m_texts);
}

} // namespace vistrel
