// Replays the fuzzing corpora (seeds, and every input that once crashed a reader) through the
// in-memory decoders in every build.

#include "CodecTestData.h"
#include "TestSupport.h"

#include "imaging/codec/CodecInternal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using namespace vistrel;
using namespace vistrel::test;

namespace {

template <typename Decode> void replay(const std::string& format, Decode decode)
{
    const std::string folder = sourceDir() + "/tests/imaging/codec/corpus/" + format;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().string());
        const std::string bytes = readFile(entry.path().string());
        const codec::Decoded d = decode(bytes);
        if (d.error == 0)
            EXPECT_EQ(d.image.size(), std::size_t(d.width) * d.height * 3);
        else
            EXPECT_TRUE(d.image.empty());
        ++count;
    }
    EXPECT_GT(count, 0);
}

codec::Decoded viaStream(const std::string& bytes,
                         codec::Decoded (*decode)(std::FILE*, std::uint64_t))
{
    if (bytes.empty())
        return codec::Decoded{RgbImage(), 0, 0, 17};
    std::FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    codec::Decoded d = decode(f, ImgLibMaxPixels);
    std::fclose(f);
    return d;
}

const std::uint8_t* u8(const std::string& s)
{
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

} // namespace

TEST(CorpusReplay, Bmp)
{
    replay("bmp", [](const std::string& b) { return codec::decodeBmp(u8(b), b.size()); });
}
TEST(CorpusReplay, Gif)
{
    replay("gif", [](const std::string& b) { return codec::decodeGif(u8(b), b.size()); });
}
TEST(CorpusReplay, Pcx)
{
    replay("pcx", [](const std::string& b) { return codec::decodePcx(u8(b), b.size()); });
}
TEST(CorpusReplay, Jpeg)
{
    replay("jpeg", [](const std::string& b) { return viaStream(b, codec::decodeJpeg); });
}
TEST(CorpusReplay, Png)
{
    replay("png", [](const std::string& b) { return viaStream(b, codec::decodePng); });
}
TEST(CorpusReplay, Tiff)
{
    replay("tiff", [](const std::string& b) { return viaStream(b, codec::decodeTiff); });
}
