// libFuzzer entry for the directory listing parser of the FTP browser.
#include "ListingFuzz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!vistrel::test::FuzzDirectoryListing(data, size))
        std::abort();
    return 0;
}
