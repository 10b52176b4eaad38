// The desktop programs started where no window can be shown: a clear message and exit status 1,
// never Qt's abort.
#include "ChildProcess.h"
#include "TestSupport.h"

#include "vistrel/Version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vistrel::test;

namespace {

TEST(ProgramsWithoutDisplay, SayWhyAndExitOne)
{
    struct Program {
        std::string name;
        std::string path;
        std::vector<std::string> args;
        std::string hint;
    };
    const std::vector<Program> programs = {
        {"updater", binaryDir() + "/src/updater/updater", {"program.xml"}, ""},
        {"leavenote",
         binaryDir() + "/src/survey/leavenote",
         {"/title", "Vistrel", "/url", "x"},
         ""},
        {"vistrel",
         binaryDir() + "/src/ui/vistrel",
         {"cam2"},
         "To publish without a display, use vistreld.\n"},
    };
    struct Display {
        std::string display;
        std::string reason;
    };
    const std::vector<Display> displays = {
        {"", "DISPLAY is not set"},
        {":97", "the X display :97 does not answer"},
    };
    TempDir dir;
    for (const Program& program : programs) {
        for (const Display& display : displays) {
            SCOPED_TRACE(program.name + " DISPLAY=" + display.display);
            std::vector<std::string> argv = program.args;
            argv.insert(argv.begin(), program.path);
            ChildProcess p;
            const std::string log = dir.file(program.name + display.display + ".log");
            ASSERT_TRUE(p.start(
                argv, log, {"QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=", "DISPLAY=" + display.display}));
            EXPECT_EQ(p.wait(20000), 1);
            EXPECT_EQ(readFile(log), program.name + ": cannot show a window: " + display.reason +
                                         ".\n" + program.hint);
        }
    }
}

// The desktop program and the headless publisher are one release: their versions agree.
TEST(ProgramsWithoutDisplay, VistrelAndVistreldTellTheSameVersion)
{
    TempDir dir;
    for (const std::string name : {"ui/vistrel", "vistreld/vistreld"}) {
        SCOPED_TRACE(name);
        ChildProcess p;
        const std::string log = dir.file(name.substr(0, 2) + "version.log");
        ASSERT_TRUE(p.start({binaryDir() + "/src/" + name, "--version"}, log, {"DISPLAY="}));
        EXPECT_EQ(p.wait(20000), 0);
        EXPECT_EQ(readFile(log),
                  name.substr(name.find('/') + 1) + " " + vistrel::kVersionString + "\n");
    }
}

} // namespace
