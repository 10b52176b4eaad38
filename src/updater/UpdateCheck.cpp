#include "updater/UpdateCheck.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <tuple>

namespace vistrel {

namespace {

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Leading blanks, an optional sign and the leading digits; 0 without digits. Clamped to the range
// of long so that a long run of digits cannot overflow.
long LeadingNumber(const std::string& text, std::size_t pos = 0)
{
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    long value = 0;
    for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos) {
        const int digit = text[pos] - '0';
        value = value > (LONG_MAX - digit) / 10 ? LONG_MAX : value * 10 + digit;
    }
    return negative ? -value : value;
}

int ClampToInt(long value)
{
    return static_cast<int>(std::clamp<long>(value, INT_MIN + 1, INT_MAX));
}

} // namespace

UpdaterCommandLine ParseUpdaterCommandLine(const std::string& tail)
{
    UpdaterCommandLine result;
    std::size_t pos = 0;
    while (pos <= tail.size()) {
        std::size_t space = tail.find(' ', pos);
        if (space == std::string::npos)
            space = tail.size();
        const std::string piece = tail.substr(pos, space - pos);
        if (piece == "-s" || piece == "-S")
            result.bSilent = true;
        else if (!piece.empty())
            result.strPadPath = piece;
        pos = space + 1;
    }
    return result;
}

bool SplitUrl(const std::string& address, std::string& host, std::uint16_t& port, std::string& path,
              bool* secure)
{
    std::size_t first = 0;
    std::size_t last = address.size();
    while (first < last && IsBlank(address[first]))
        ++first;
    while (last > first && IsBlank(address[last - 1]))
        --last;
    std::string rest = address.substr(first, last - first);
    port = 80;
    if (secure)
        *secure = false;

    const std::size_t schemeEnd = rest.find("://", 1);
    if (schemeEnd != std::string::npos) {
        std::string scheme = rest.substr(0, schemeEnd);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (scheme != "http" && scheme != "https")
            return false;
        if (scheme == "https")
            port = 443;
        if (secure)
            *secure = scheme == "https";
        rest.erase(0, schemeEnd + 3);
    }

    const std::size_t slash = rest.find('/');
    if (slash != std::string::npos && slash > 0) {
        host = rest.substr(0, slash);
        path = rest.substr(slash);
    } else {
        host = rest;
        path = "/";
    }

    const std::size_t colon = host.find(':');
    if (colon != std::string::npos && colon > 0) {
        const long number = LeadingNumber(host, colon + 1);
        host.erase(colon);
        if (number <= 0 || number > 65535) {
            port = 0;
            return false;
        }
        port = static_cast<std::uint16_t>(number);
    }
    return !host.empty();
}

ProgramVersion ParseVersion(const std::string& text)
{
    int parts[3] = {-1, -1, -1};
    int count = 0;
    std::size_t pos = 0;
    while (count < 3 && pos < text.size()) {
        if (text[pos] == '.') {
            ++pos;
            continue;
        }
        std::size_t dot = text.find('.', pos);
        if (dot == std::string::npos)
            dot = text.size();
        parts[count++] = ClampToInt(LeadingNumber(text.substr(pos, dot - pos)));
        pos = dot;
    }
    return ProgramVersion{parts[0], parts[1], parts[2]};
}

bool IsNewerVersion(const std::string& installed, const std::string& candidate)
{
    const ProgramVersion a = ParseVersion(installed);
    const ProgramVersion b = ParseVersion(candidate);
    return std::tie(b.nMajor, b.nMinor, b.nThird) > std::tie(a.nMajor, a.nMinor, a.nThird);
}

bool IsAcceptableDownloadAddress(const std::string& address)
{
    return address.size() >= 4 && address.compare(0, 4, "http") == 0 &&
           address.compare(address.size() - 3, 3, "exe") == 0;
}

std::string SetupFileName(const std::string& programName)
{
    std::string name = programName;
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\0', '_');
    return name + "-update.exe";
}

std::string NewVersionText(const std::string& programName, const std::string& installed,
                           const std::string& newVersion, const std::string& whatsNew)
{
    std::string text = "A new version of " + programName +
                       " was found!\r\n\r\nInstalled Version: " + installed +
                       ", New Version: " + newVersion + "\r\n\r\n";
    if (!whatsNew.empty())
        text += "What's New: " + whatsNew + "\r\n\r\n";
    text += "Click the Update button to download and install the new version.";
    return text;
}

std::string BytesCopiedText(std::int64_t copied, std::int64_t total)
{
    return std::to_string(copied) + " of " + std::to_string(total) + " bytes copied";
}

} // namespace vistrel
