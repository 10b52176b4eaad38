// Opening a module: each way it can fail says which package to install, and a module that fits
// is handed out.

#include "platform/ModuleFile.h"
#include "TestSupport.h"
#include "vistrel/Version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace vistrel::test {
namespace {

constexpr ModuleTexts kTexts{"Probes", "The probe module", "vistrel-probe"};

bool VersionSeven(const void* m)
{
    return *static_cast<const int*>(m) == 7;
}
bool VersionEight(const void* m)
{
    return *static_cast<const int*>(m) == 8;
}

TEST(ModuleFile, EachFailureSaysWhatToInstallAndAFittingModuleIsHandedOut)
{
    TempDir dir;
    writeFile(dir.file("garbage.so"), "not a module");
    struct Case {
        std::string path;
        const char* entry;
        bool (*fits)(const void*);
        std::string problem; // empty: the module is handed out
    };
    const Case cases[] = {
        {dir.file("none.so"), "vistrel_probe_module", VersionSeven,
         "Probes need the vistrel-probe package, which is not installed (" + dir.file("none.so") +
             " is missing)."},
        {dir.file("garbage.so"), "vistrel_probe_module", VersionSeven,
         "The probe module " + dir.file("garbage.so") + " cannot be loaded ("},
        {PROBE_MODULE, "no_such_entry", VersionSeven,
         std::string("The probe module ") + PROBE_MODULE + " does not belong to Vistrel " +
             kVersionString + "; install the vistrel-probe package of the same version."},
        {PROBE_MODULE, "vistrel_probe_module", VersionEight,
         std::string("The probe module ") + PROBE_MODULE + " does not belong to Vistrel"},
        {PROBE_MODULE, "vistrel_probe_module", VersionSeven, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.entry);
        std::string problem;
        const void* module = OpenModuleFile(c.path, c.entry, kTexts, c.fits, &problem);
        if (c.problem.empty()) {
            ASSERT_NE(module, nullptr) << problem;
            EXPECT_EQ(*static_cast<const int*>(module), 7);
            EXPECT_EQ(MissingModuleProblem(c.path, kTexts), "");
        } else {
            EXPECT_EQ(module, nullptr);
            EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << problem;
        }
    }
    EXPECT_EQ(MissingModuleProblem(dir.file("none.so"), kTexts), cases[0].problem);

    // A slot keeps what it opened, and opens anew when it is asked for another file.
    ModuleSlot slot("vistrel_probe_module", kTexts, VersionSeven);
    std::string problem;
    EXPECT_EQ(slot.Get(dir.file("none.so"), &problem), nullptr);
    EXPECT_EQ(problem, cases[0].problem);
    EXPECT_EQ(slot.Problem(dir.file("none.so")), cases[0].problem);
    const void* first = slot.Get(PROBE_MODULE, &problem);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(slot.Get(PROBE_MODULE, &problem), first);
    EXPECT_EQ(slot.Problem(PROBE_MODULE), "");
    EXPECT_EQ(slot.Get(dir.file("garbage.so"), &problem), nullptr);

    ::setenv("VISTREL_PROBE_DIR", dir.path().c_str(), 1);
    EXPECT_EQ(ModuleFilePath("VISTREL_PROBE_DIR", "../lib", "p.so"), dir.file("p.so"));
    ::setenv("VISTREL_PROBE_DIR", "", 1);
    const std::string beside = ModuleFilePath("VISTREL_PROBE_DIR", "../lib", "p.so");
    EXPECT_TRUE(beside.ends_with("/../lib/p.so")) << beside;
    EXPECT_EQ(beside.rfind(binaryDir(), 0), 0u) << beside;
    ::unsetenv("VISTREL_PROBE_DIR");
}

} // namespace
} // namespace vistrel::test
