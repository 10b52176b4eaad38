// libFuzzer entry for the PASV and EPSV reply parsers.
#include "DataReplyFuzz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!vistrel::test::FuzzDataReplies(data, size))
        std::abort();
    return 0;
}
