// libFuzzer entry for the FTP reply reader.
#include "ReplyReaderFuzz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!vistrel::test::FuzzReplyReader(data, size))
        std::abort();
    return 0;
}
