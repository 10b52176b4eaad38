#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vistrel::test {

// Runs one settings file through the profile reader and writer: the bytes are stored in
// scratchFile, every key the file seems to hold is read, one key is written, and then every
// other key must read back as before and the written key as written. Returns false when that
// does not hold. Shared by the libFuzzer target and the corpus replay test.
bool FuzzProfileOne(const std::uint8_t* data, std::size_t size, const std::string& scratchFile);

} // namespace vistrel::test
