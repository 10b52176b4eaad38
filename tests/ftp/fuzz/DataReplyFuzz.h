#pragma once

#include <cstddef>
#include <cstdint>

namespace vistrel::test {

// The bytes as a PASV and as an EPSV reply. Returns false when a parse that succeeded gives what
// a data connection cannot use (an address of other than four numbers 0 … 255, a port outside
// 0 … 65535, or 1 … 65535 for EPSV), or when the reply written back from the result does not
// parse to the same address and port.
bool FuzzDataReplies(const uint8_t* data, size_t size);

} // namespace vistrel::test
