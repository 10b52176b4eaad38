#pragma once

#include <string>

namespace vistrel {

// The program's temporary directory: "<base>/vistrel-<uid>", where base is $TMPDIR or /tmp.
// It is created with mode 0700 and, before every use, checked to be a real directory (not a
// symlink) owned by this user and closed to everyone else, so another user cannot plant files or
// symlinks under the predictable names the program uses inside it.
//
// Returns the directory without a trailing '/', or an empty string with *error set when no safe
// directory can be had.
std::string PrivateTempDirectory(std::string* error = nullptr);

// A fresh, uniquely named empty file in the private temporary directory, created with mode 0600
// (mkstemp). prefix starts the file name. Returns the path, or an empty string with *error set.
std::string CreatePrivateTempFile(const std::string& prefix, std::string* error = nullptr);

} // namespace vistrel
