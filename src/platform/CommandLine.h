#pragma once

#include <string>

namespace vistrel {

// argv[1..] joined with single spaces: the command-line tail as a Windows program would see it
// (the shell has already removed quotes and split at blanks).
std::string JoinArguments(int argc, const char* const* argv);

} // namespace vistrel
