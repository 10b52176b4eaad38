#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace vistrel {

// The longest text a time pattern may give; a longer result is refused (an empty text).
inline constexpr std::size_t kTimePatternMax = 1023;

// The strftime text of pattern for the broken-down time when, or an empty text when the result
// would be empty or longer than kTimePatternMax.
std::string FormatTimePattern(std::string_view pattern, const std::tm& when);

// The local time of t, broken down.
std::tm LocalTime(std::time_t t);

} // namespace vistrel
