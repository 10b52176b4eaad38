#include "ProfileFuzzBody.h"

#include "platform/Profile.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string trimmed(std::string s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.erase(0, 1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.pop_back();
    return s;
}

} // namespace

namespace vistrel::test {

bool FuzzProfileOne(const std::uint8_t* data, std::size_t size, const std::string& file)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f)
        return false;
    const bool stored = std::fwrite(input.data(), 1, input.size(), f) == input.size();
    if (std::fclose(f) != 0 || !stored)
        return false;

    // Names that look like sections and keys, in file order.
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    std::size_t pos = 0;
    while (pos < input.size() && names.size() < 32) {
        std::size_t nl = input.find('\n', pos);
        if (nl == std::string::npos)
            nl = input.size();
        const std::string line = trimmed(input.substr(pos, nl - pos));
        pos = nl + 1;
        if (!line.empty() && line[0] == '[')
            section = trimmed(line.substr(1, line.find(']') - 1));
        else if (line.find('=') != std::string::npos)
            names.emplace_back(section, trimmed(line.substr(0, line.find('='))));
    }
    if (names.empty())
        names.emplace_back("S", "K");

    std::vector<std::string> before;
    for (const auto& [s, k] : names) {
        before.push_back(vistrel::GetPrivateProfileString(s, k, "\x01missing", file));
        vistrel::GetPrivateProfileInt(s, k, 0, file);
    }

    const auto& [ts, tk] = names[size % names.size()];
    const std::string value = input.substr(0, 40);
    const bool written = vistrel::WritePrivateProfileString(ts, tk, value, file);
    const std::string expected = value.substr(0, vistrel::kProfileStringMax);

    auto same = [](const std::string& a, const std::string& b) {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(a[i])) !=
                std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& [s, k] = names[i];
        const std::string after = vistrel::GetPrivateProfileString(s, k, "\x01missing", file);
        const bool isTarget = same(trimmed(s), trimmed(ts)) && same(trimmed(k), trimmed(tk));
        if (written && isTarget) {
            if (after != expected)
                return false;
        } else if (after != before[i]) {
            return false;
        }
    }
    return true;
}

} // namespace vistrel::test
