#include "imaging/LogoFile.h"

#include <algorithm>
#include <cctype>

namespace vistrel {

namespace {

std::string UpperSuffix(const std::string& path)
{
    std::string suffix = path.size() >= 4 ? path.substr(path.size() - 4) : path;
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return suffix;
}

} // namespace

std::vector<std::uint8_t> ReadLogoAlpha(const std::string& path, unsigned width, unsigned height)
{
    if (UpperSuffix(path) != ".PNG")
        return {};
    return ImgLibReadAlphaFromPNG(path, width, height);
}

RgbImage ReadLogoFile(const std::string& path, unsigned& width, unsigned& height,
                      ColorRef& transparent, bool& isGif, std::uint64_t maxPixels)
{
    const std::string suffix = UpperSuffix(path);
    isGif = false;
    transparent = kNoColor;
    width = height = 0;
    if (suffix == ".GIF") {
        isGif = true;
        return ImgLibReadRGBFromGIF(path, width, height, transparent, maxPixels);
    }
    if (suffix == ".JPG")
        return ImgLibReadRGBFromJPG(path, width, height, maxPixels);
    if (suffix == ".PNG")
        return ImgLibReadRGBFromPNG(path, width, height, maxPixels);
    if (suffix == ".TIF")
        return ImgLibReadRGBFromTIF(path, width, height, maxPixels);
    if (suffix == ".BMP")
        return ImgLibReadRGBFromBMP(path, width, height, maxPixels);
    if (suffix == ".PCX")
        return ImgLibReadRGBFromPCX(path, width, height, maxPixels);
    ImgLibThreadState().lastError = IMGLIB_OK;
    return {};
}

} // namespace vistrel
