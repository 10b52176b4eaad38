#include "ListingFuzz.h"

#include "ftp/FtpBrowse.h"

#include <algorithm>
#include <string>

namespace vistrel::test {

bool FuzzDirectoryListing(const uint8_t* data, size_t size)
{
    const std::string listing(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> names = ParseDirectoryListing(listing);
    const auto lines =
        static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\n')) + 1;
    if (names.size() > lines)
        return false;
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    for (const std::string& name : names) {
        if (name.empty() || name == "." || name == "..")
            return false;
        if (name.find('\n') != std::string::npos || blank(name.front()) || blank(name.back()))
            return false;
        if (listing.find(name) == std::string::npos)
            return false;
    }
    return true;
}

} // namespace vistrel::test
