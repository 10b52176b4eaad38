#pragma once

#include <cstdio>
#include <string>

namespace vistrel {

// Reads a password for --set-password from fd. On a terminal it asks with prompt (written to
// promptOut) without echoing what is typed, then asks again to confirm; the two must match. From a
// pipe or a file it reads one line (a trailing CR is dropped). Empty input is refused. Returns
// false with *error set; the terminal's echo is always put back, also after Ctrl+C.
bool ReadPassword(int fd, std::FILE* promptOut, const std::string& prompt, std::string* password,
                  std::string* error);

} // namespace vistrel
