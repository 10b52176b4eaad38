#pragma once

#include <cstddef>
#include <cstdint>

namespace vistrel::test {

// What a network camera sends, and the URLs the user types, under a fuzzer. Each returns false
// when a property that callers rely on breaks.

// The first byte picks the piece size (0: all at once) and the part limit, the rest is an MJPEG
// stream with the boundary "frame". The parts, the failure and its reason must not depend on
// how the stream was cut into pieces; no part may be longer than the limit, and what the reader
// holds stays within the limit and its header allowance.
bool FuzzMultipartReader(const uint8_t* data, size_t size);

// The bytes as a URL, and as the password of a URL (in the user information and in the query):
// the shown URL never holds that password, showing is idempotent, and the host named for
// messages holds no password either.
bool FuzzUrlMasking(const uint8_t* data, size_t size);

} // namespace vistrel::test
