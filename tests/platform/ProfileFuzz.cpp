// libFuzzer entry for the profile reader and writer (built with -DVISTREL_FUZZ=ON by clang).
#include "ProfileFuzzBody.h"

#include <cstdlib>
#include <unistd.h>

namespace {

std::string scratchFile()
{
    static std::string path = [] {
        char dir[] = "/tmp/vistrel-fuzz-XXXXXX";
        if (!::mkdtemp(dir))
            std::abort();
        return std::string(dir) + "/fuzz.ini";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!vistrel::test::FuzzProfileOne(data, size, scratchFile()))
        std::abort();
    return 0;
}
