#pragma once

#include "imaging/codec/ImgLib.h"

#include <string>
#include <vector>

namespace vistrel::test {

// Folder of the codec test pictures (tests/imaging/codec/data).
std::string codecData(const std::string& relative = {});

// A reference decoding: gzip'd "RGB <w> <h>\n" followed by the pixels (see data/LICENSES.txt).
struct RefImage {
    unsigned width = 0;
    unsigned height = 0;
    std::string pixels;
};
bool loadRef(const std::string& path, RefImage& ref);

// File names in a folder with the given ending, sorted.
std::vector<std::string> listFiles(const std::string& folder, const std::string& ending);

// The pixels of an RgbImage as a string, for comparisons.
std::string bytesOf(const RgbImage& image);

// A decoder chosen by file extension (bmp, gif, pcx, png, jpg, tif).
RgbImage readByExtension(const std::string& path, unsigned& w, unsigned& h);

// A python3 that has PIL, or an empty string.
std::string pythonWithPil();

} // namespace vistrel::test
