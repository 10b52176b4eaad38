#pragma once

#include <cstddef>
#include <cstdint>

namespace vistrel::test {

// The bytes as a directory listing. Returns false when a directory name found is empty, "." or
// "..", holds a line break, has blanks at either end, does not occur in the listing, or when
// more names are found than the listing has lines.
bool FuzzDirectoryListing(const uint8_t* data, size_t size);

} // namespace vistrel::test
