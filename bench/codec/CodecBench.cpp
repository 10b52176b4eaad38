// Decode throughput in megapixels per second ("MP/s" column) of our GIF, BMP and PCX readers,
// giflib on the same GIF files, and JPEG saving of a 1920 × 1080 frame.
//
//   cmake -S . -B build-bench -G Ninja -DVISTREL_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench --target bench_codec && build-bench/bench/codec/bench_codec

#include "imaging/codec/CodecInternal.h"

#include <benchmark/benchmark.h>

#ifdef VISTREL_HAVE_GIFLIB
#include <gif_lib.h>
#endif

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using namespace vistrel;

namespace {

constexpr unsigned kFrameW = 1920, kFrameH = 1080;

std::vector<std::uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string tempPath(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/vistrel-bench-" + std::to_string(getpid()) + "-" +
           name;
}

// Something like a camera frame: smooth gradients, a few edges and sensor noise.
RgbImage cameraFrame()
{
    RgbImage image = RgbImage::allocate(std::size_t(kFrameW) * kFrameH * 3);
    std::mt19937 noise(42);
    for (unsigned y = 0; y < kFrameH; ++y)
        for (unsigned x = 0; x < kFrameW; ++x) {
            std::uint8_t* p = image.data() + (std::size_t(y) * kFrameW + x) * 3;
            const int n = int(noise() % 9) - 4;
            const bool edge = ((x / 160) + (y / 120)) % 2;
            p[0] = std::uint8_t(std::clamp(int(x * 200 / kFrameW) + n + (edge ? 40 : 0), 0, 255));
            p[1] = std::uint8_t(std::clamp(int(y * 200 / kFrameH) + n, 0, 255));
            p[2] = std::uint8_t(std::clamp(128 + n + (edge ? -50 : 30), 0, 255));
        }
    return image;
}

// A 1920 × 1080 24-bit PCX (three planes, run-length coded) of the camera frame.
std::vector<std::uint8_t> frameAsPcx(const RgbImage& frame)
{
    std::vector<std::uint8_t> out(128, 0);
    out[0] = 0x0A;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    out[8] = (kFrameW - 1) & 0xFF;
    out[9] = (kFrameW - 1) >> 8;
    out[10] = (kFrameH - 1) & 0xFF;
    out[11] = (kFrameH - 1) >> 8;
    out[65] = 3;
    out[66] = kFrameW & 0xFF;
    out[67] = kFrameW >> 8;
    std::vector<std::uint8_t> line(kFrameW * 3);
    for (unsigned y = 0; y < kFrameH; ++y) {
        const std::uint8_t* src = frame.data() + std::size_t(y) * kFrameW * 3;
        for (unsigned x = 0; x < kFrameW; ++x)
            for (int c = 0; c < 3; ++c)
                line[c * kFrameW + x] = src[x * 3 + c];
        for (std::size_t i = 0; i < line.size();) {
            std::size_t run = 1;
            while (i + run < line.size() && run < 63 && line[i + run] == line[i])
                ++run;
            if (run > 1 || (line[i] & 0xC0) == 0xC0)
                out.push_back(std::uint8_t(0xC0 | run));
            out.push_back(line[i]);
            i += run;
        }
    }
    return out;
}

void setRate(benchmark::State& state, std::uint64_t pixelsPerIteration)
{
    state.counters["MP/s"] = benchmark::Counter(double(pixelsPerIteration) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OurGif(benchmark::State& state, const std::string& file)
{
    const auto bytes = readBytes(file);
    std::uint64_t pixels = 0;
    for (auto _ : state) {
        codec::Decoded d = codec::decodeGif(bytes.data(), bytes.size());
        if (d.error)
            state.SkipWithError("decode failed");
        pixels = std::uint64_t(d.width) * d.height;
        benchmark::DoNotOptimize(d.image.data());
    }
    setRate(state, pixels);
}

#ifdef VISTREL_HAVE_GIFLIB
struct MemoryReader {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at;
};

int readFromMemory(GifFileType* gif, GifByteType* buf, int size)
{
    auto* m = static_cast<MemoryReader*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(std::size_t(size), m->bytes->size() - m->at);
    std::memcpy(buf, m->bytes->data() + m->at, n);
    m->at += n;
    return int(n);
}

// giflib doing the same work: the first image's indices, then the colour table applied.
void BM_Giflib(benchmark::State& state, const std::string& file)
{
    const auto bytes = readBytes(file);
    std::uint64_t pixels = 0;
    for (auto _ : state) {
        MemoryReader reader{&bytes, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
        if (!gif) {
            state.SkipWithError("DGifOpen failed");
            break;
        }
        std::vector<GifPixelType> indices;
        GifRecordType type;
        bool done = false;
        while (!done && DGifGetRecordType(gif, &type) == GIF_OK) {
            if (type == IMAGE_DESC_RECORD_TYPE) {
                DGifGetImageDesc(gif);
                const int w = gif->Image.Width, h = gif->Image.Height;
                indices.resize(std::size_t(w) * h);
                if (gif->Image.Interlace) {
                    static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
                    for (int pass = 0; pass < 4; ++pass)
                        for (int y = start[pass]; y < h; y += step[pass])
                            DGifGetLine(gif, &indices[std::size_t(y) * w], w);
                } else {
                    for (int y = 0; y < h; ++y)
                        DGifGetLine(gif, &indices[std::size_t(y) * w], w);
                }
                const ColorMapObject* map =
                    gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
                std::vector<std::uint8_t> rgb(indices.size() * 3);
                for (std::size_t i = 0; i < indices.size(); ++i) {
                    const GifColorType c = map->Colors[indices[i] % map->ColorCount];
                    rgb[i * 3] = c.Red;
                    rgb[i * 3 + 1] = c.Green;
                    rgb[i * 3 + 2] = c.Blue;
                }
                benchmark::DoNotOptimize(rgb.data());
                pixels = std::uint64_t(w) * h;
                done = true;
            } else if (type == EXTENSION_RECORD_TYPE) {
                int code;
                GifByteType* ext;
                DGifGetExtension(gif, &code, &ext);
                while (ext)
                    DGifGetExtensionNext(gif, &ext);
            } else {
                break;
            }
        }
        DGifCloseFile(gif, &error);
    }
    setRate(state, pixels);
}

// A 1920 × 1080 GIF of the camera frame reduced to 6 × 6 × 6 colours, written by giflib.
std::string writeFrameGif()
{
    const std::string path = tempPath("frame.gif");
    RgbImage frame = cameraFrame();
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 216; ++i)
        map->Colors[i] = {GifByteType(i / 36 * 51), GifByteType(i / 6 % 6 * 51),
                          GifByteType(i % 6 * 51)};
    EGifPutScreenDesc(gif, kFrameW, kFrameH, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, kFrameW, kFrameH, false, nullptr);
    std::vector<GifPixelType> line(kFrameW);
    for (unsigned y = 0; y < kFrameH; ++y) {
        for (unsigned x = 0; x < kFrameW; ++x) {
            const std::uint8_t* p = frame.data() + (std::size_t(y) * kFrameW + x) * 3;
            line[x] = GifPixelType(p[0] / 43 * 36 + p[1] / 43 * 6 + p[2] / 43);
        }
        EGifPutLine(gif, line.data(), kFrameW);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return path;
}
#endif

void BM_OurBmp(benchmark::State& state, const std::vector<std::uint8_t>& bytes)
{
    std::uint64_t pixels = 0;
    for (auto _ : state) {
        codec::Decoded d = codec::decodeBmp(bytes.data(), bytes.size());
        if (d.error)
            state.SkipWithError("decode failed");
        pixels = std::uint64_t(d.width) * d.height;
        benchmark::DoNotOptimize(d.image.data());
    }
    setRate(state, pixels);
}

void BM_OurPcx(benchmark::State& state, const std::vector<std::uint8_t>& bytes)
{
    std::uint64_t pixels = 0;
    for (auto _ : state) {
        codec::Decoded d = codec::decodePcx(bytes.data(), bytes.size());
        if (d.error)
            state.SkipWithError("decode failed");
        pixels = std::uint64_t(d.width) * d.height;
        benchmark::DoNotOptimize(d.image.data());
    }
    setRate(state, pixels);
}

void BM_SaveJpeg(benchmark::State& state, int progressive)
{
    static const RgbImage frame = cameraFrame();
    const std::string path = tempPath(progressive ? "p.jpg" : "b.jpg");
    for (auto _ : state) {
        if (!ImgLibSaveRGBToJPG(path, frame, kFrameW, kFrameH, 75, 1, progressive))
            state.SkipWithError("save failed");
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) {
        std::fseek(f, 0, SEEK_END);
        state.counters["KiB"] = double(std::ftell(f)) / 1024.0;
        std::fclose(f);
    }
    std::remove(path.c_str());
    setRate(state, std::uint64_t(kFrameW) * kFrameH);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string data = VISTREL_CODEC_DATA;
    std::vector<std::string> gifs = {data + "/gif/solid2.gif", data + "/gif/porsche.gif",
                                     data + "/gif/treescap-interlaced.gif"};
#ifdef VISTREL_HAVE_GIFLIB
    const std::string frameGif = writeFrameGif();
    gifs.insert(gifs.begin(), frameGif);
#endif
    for (const std::string& file : gifs) {
        const std::string name = file.find("vistrel-bench-") != std::string::npos
                                     ? "frame-1920x1080.gif"
                                     : file.substr(file.rfind('/') + 1);
        benchmark::RegisterBenchmark(("gif/ours/" + name).c_str(), BM_OurGif, file);
#ifdef VISTREL_HAVE_GIFLIB
        benchmark::RegisterBenchmark(("gif/giflib/" + name).c_str(), BM_Giflib, file);
#endif
    }

    // BMP: a 1920 × 1080 24-bit frame as the capture step writes it, and 8-bit RLE.
    static std::vector<std::uint8_t> frameBmp, rleBmp, framePcx;
    {
        const RgbImage frame = cameraFrame();
        const std::string path = tempPath("frame.bmp");
        ImgLibSaveRGBToBMP(path, frame, kFrameW, kFrameH);
        frameBmp = readBytes(path);
        std::remove(path.c_str());
        framePcx = frameAsPcx(frame);
        rleBmp = readBytes(data + "/bmp/g/pal8rle.bmp");
    }
    benchmark::RegisterBenchmark("bmp/24bit-1920x1080", BM_OurBmp, frameBmp);
    benchmark::RegisterBenchmark("bmp/rle8-127x64", BM_OurBmp, rleBmp);
    benchmark::RegisterBenchmark("pcx/24bit-1920x1080", BM_OurPcx, framePcx);
    benchmark::RegisterBenchmark("jpeg-save/1920x1080-q75-baseline", BM_SaveJpeg, 0);
    benchmark::RegisterBenchmark("jpeg-save/1920x1080-q75-progressive", BM_SaveJpeg, 1);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
#ifdef VISTREL_HAVE_GIFLIB
    std::remove(frameGif.c_str());
#endif
    return 0;
}
