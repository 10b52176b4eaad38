#pragma once

#include <string>

namespace vistrel {

// The desktop program. Its command line names the settings file: the whole tail, as it is, with
// ".ini" added ("vistrel cam2" uses cam2.ini); a bare name lives in the configuration folder
// (~/.config/vistrel/), a name with a '/' is used as given. A tail of exactly "--version" or
// "--help" is answered instead.
class CMainApp {
  public:
    // Runs the program; returns the process's exit status (1 when no window can be shown).
    int Run(int argc, char** argv);
};

// What the command-line tail asks for.
enum class TailRequest { Run, Version, Help };
TailRequest ReadTail(const std::string& tail);

} // namespace vistrel
