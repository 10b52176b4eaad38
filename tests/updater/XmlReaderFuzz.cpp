// libFuzzer entry for the XML reader (built with -DVISTREL_FUZZ=ON by clang).
#include "XmlFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vistrel::test::FuzzXmlReaderOne(data, size);
    return 0;
}
