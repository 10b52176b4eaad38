#include "BenchSupport.h"

#include "config/SettingsFile.h"
#include "imaging/codec/ImgLib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace bench {

std::vector<double> timeRuns(int runs, const std::function<bool()>& fn)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!fn())
            return {};
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    return ms;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

bool sh(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

std::string tempDir()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vistrel-bench-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    return ::mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

void removeAll(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

void writeStampSettings(const std::string& ini, const std::string& folder, int width, int height)
{
    using namespace vistrel;
    SetSettingsFilePathForTesting(ini);
    // A 100 × 50 logo with some detail.
    RgbImage logo = RgbImage::allocate(100 * 50 * 3);
    for (int i = 0; i < 100 * 50 * 3; ++i)
        logo.data()[i] = static_cast<std::uint8_t>(i * 7);
    ImgLibSaveRGBToBMP(folder + "/logo.bmp", logo, 100, 50);

    IniWriteInt("License", "INIVersion", 1005);
    IniWriteInt("ConnectOptions", "UseLAN", 1);
    IniWriteString("Install", "Directory", folder);
    IniWriteString("UploadOptions", "SaveAsFilename", folder + "/vistrel.jpg");
    IniWriteInt("ImageFormat", "CaptureDevice", 0);
    IniWriteInt("ImageFormat", "Size", 40);
    IniWriteInt("ImageFormat", "Width", width);
    IniWriteInt("ImageFormat", "Height", height);
    IniWriteInt("ImageFormat", "Planes", 1);
    IniWriteInt("ImageFormat", "BitCount", 24);
    IniWriteInt("ImageOptions", "EnableMessage", 1);
    IniWriteString("ImageOptions", "Message", "Vistrel benchmark camera");
    IniWriteString("ImageOptions", "Font", "DejaVu Sans");
    IniWriteInt("ImageOptions", "FontColor", 16777215);
    IniWriteInt("ImageOptions", "Stamp", 1);
    IniWriteString("ImageOptions", "TimeFont", "DejaVu Sans");
    IniWriteInt("ImageOptions", "TimeFontColor", 16777215);
    IniWriteInt("ImageOptions", "EnableOverlay", 1);
    IniWriteString("ImageOptions", "OverlayFilename", folder + "/logo.bmp");
    IniWriteInt("ImageOptions", "OverlayAlignment", 8);
    IniWriteInt("ImageOptions", "Quality", 85);
}

long rssKiB(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

} // namespace bench
