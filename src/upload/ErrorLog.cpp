#include "upload/ErrorLog.h"

#include <cstdio>

namespace vistrel {

std::string FormatErrorLogEntry(std::time_t when, const std::string& text)
{
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%m-%d-%y %H:%M", &local);
    const std::string entry = std::string(stamp) + " - " + text + "\n";
    std::string out;
    out.reserve(entry.size() + 8);
    for (char c : entry) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

void AppendErrorLog(const std::string& programFolder, const std::string& text, std::time_t when)
{
    const std::string path = programFolder + "error.log";
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f)
        return;
    const std::string entry = FormatErrorLogEntry(when, text);
    std::fwrite(entry.data(), 1, entry.size(), f);
    std::fclose(f);
}

} // namespace vistrel
