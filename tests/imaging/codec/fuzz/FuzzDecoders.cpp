// libFuzzer entry points for the codec readers; one executable per format, chosen by
// FUZZ_FORMAT at compile time. Pictures are capped at 4 Mpixel so that each run stays fast;
// everything else is exactly what the readers do with a file.

#include "imaging/codec/CodecInternal.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint64_t kFuzzMaxPixels = 1u << 22;

// A decoded picture must be exactly as large as it says.
void check(const vistrel::codec::Decoded& d)
{
    if (d.error == 0 && d.image.size() != std::size_t(d.width) * d.height * 3)
        __builtin_trap();
    if (d.error != 0 && !d.image.empty())
        __builtin_trap();
}

template <typename Decode>
void throughStream(const std::uint8_t* data, std::size_t size, Decode decode)
{
    if (size == 0)
        return;
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!f)
        return;
    check(decode(f, kFuzzMaxPixels));
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistrel::codec;
#if FUZZ_FORMAT == 1
    check(decodeBmp(data, size, kFuzzMaxPixels));
#elif FUZZ_FORMAT == 2
    check(decodeGif(data, size, kFuzzMaxPixels));
#elif FUZZ_FORMAT == 3
    check(decodePcx(data, size, kFuzzMaxPixels));
#elif FUZZ_FORMAT == 4
    throughStream(data, size, decodeJpeg);
#elif FUZZ_FORMAT == 5
    throughStream(data, size, decodePng);
#elif FUZZ_FORMAT == 6
    throughStream(data, size, decodeTiff);
#endif
    return 0;
}
