// libFuzzer entry for what network cameras send and the URLs they are given; FUZZ_TARGET picks
// the body (1: the MJPEG part reader, 2: URL masking).
#include "CameraInputFuzz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
#if FUZZ_TARGET == 1
    const bool sound = vistrel::test::FuzzMultipartReader(data, size);
#else
    const bool sound = vistrel::test::FuzzUrlMasking(data, size);
#endif
    if (!sound)
        std::abort();
    return 0;
}
