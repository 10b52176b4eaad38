#include "platform/TimePattern.h"

#include <vector>

namespace vistrel {

std::string FormatTimePattern(std::string_view pattern, const std::tm& when)
{
    if (pattern.empty())
        return {};
    const std::string format(pattern);
    // strftime gives 0 both for an empty result and for a buffer too small: one byte more than
    // the longest text tells them apart.
    std::vector<char> buffer(kTimePatternMax + 2);
    const std::size_t n = std::strftime(buffer.data(), buffer.size(), format.c_str(), &when);
    if (n == 0 || n > kTimePatternMax)
        return {};
    return std::string(buffer.data(), n);
}

std::tm LocalTime(std::time_t t)
{
    std::tm when{};
    ::localtime_r(&t, &when);
    return when;
}

} // namespace vistrel
