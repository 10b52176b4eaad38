#include "CodecTestData.h"

#include "TestSupport.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vistrel::test {

std::string codecData(const std::string& relative)
{
    return sourceDir() + "/tests/imaging/codec/data/" + relative;
}

bool loadRef(const std::string& path, RefImage& ref)
{
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::string all;
    char buf[65536];
    int got;
    while ((got = gzread(f, buf, sizeof buf)) > 0)
        all.append(buf, static_cast<std::size_t>(got));
    gzclose(f);
    const std::size_t eol = all.find('\n');
    if (eol == std::string::npos ||
        std::sscanf(all.c_str(), "RGB %u %u", &ref.width, &ref.height) != 2)
        return false;
    ref.pixels = all.substr(eol + 1);
    return ref.pixels.size() == std::size_t(ref.width) * ref.height * 3;
}

std::vector<std::string> listFiles(const std::string& folder, const std::string& ending)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= ending.size() &&
            name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string bytesOf(const RgbImage& image)
{
    return image.empty() ? std::string()
                         : std::string(reinterpret_cast<const char*>(image.data()), image.size());
}

RgbImage readByExtension(const std::string& path, unsigned& w, unsigned& h)
{
    std::string ext = path.substr(path.rfind('.') + 1);
    if (ext == "bmp")
        return ImgLibReadRGBFromBMP(path, w, h);
    if (ext == "gif") {
        ColorRef transparent;
        return ImgLibReadRGBFromGIF(path, w, h, transparent);
    }
    if (ext == "pcx")
        return ImgLibReadRGBFromPCX(path, w, h);
    if (ext == "png")
        return ImgLibReadRGBFromPNG(path, w, h);
    if (ext == "jpg")
        return ImgLibReadRGBFromJPG(path, w, h);
    if (ext == "tif")
        return ImgLibReadRGBFromTIF(path, w, h);
    w = h = 0;
    return RgbImage();
}

std::string pythonWithPil()
{
    for (const char* candidate : {"/usr/bin/python3", "python3"}) {
        const std::string cmd = std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0)
            return candidate;
    }
    return {};
}

} // namespace vistrel::test
