#include "config/SettingsCheck.h"

#include "config/KeyCatalogue.h"
#include "config/SettingValues.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace vistrel {

namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

// Edit distance (insertions, deletions, substitutions, and swaps of neighbours), letter case
// aside.
std::size_t distance(std::string_view a, std::string_view b)
{
    const std::string x = lowered(a), y = lowered(b);
    std::vector<std::vector<std::size_t>> d(x.size() + 1, std::vector<std::size_t>(y.size() + 1));
    for (std::size_t i = 0; i <= x.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= y.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= x.size(); ++i) {
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[x.size()][y.size()];
}

// How far a typo may be from the name it means: one edit for short names, up to a third of the
// name for long ones.
std::size_t tolerance(std::string_view name)
{
    return std::clamp<std::size_t>(name.size() / 3, 1, 4);
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> knownSections()
{
    std::vector<std::string_view> names;
    for (const SettingKey& k : SettingKeys())
        if (std::find(names.begin(), names.end(), k.section) == names.end())
            names.push_back(k.section);
    return names;
}

const std::string_view* findSection(std::string_view name)
{
    static const std::vector<std::string_view> sections = knownSections();
    for (const std::string_view& s : sections)
        if (lowered(s) == lowered(name))
            return &s;
    return nullptr;
}

std::vector<std::string_view> keysOf(std::string_view sectionName)
{
    std::vector<std::string_view> keys;
    for (const SettingKey& k : SettingKeys())
        if (k.section == sectionName)
            keys.push_back(k.key);
    return keys;
}

std::string lineText(int line)
{
    return "line " + std::to_string(line);
}

// The warning for a key that its (known) section does not have.
std::string unknownKey(std::string_view key, std::string_view sectionName, int line)
{
    std::string text = "unknown key " + std::string(key) + " in [" + std::string(sectionName) +
                       "] (" + lineText(line) + ")";
    for (const SettingKey& k : SettingKeys()) {
        if (lowered(k.key) == lowered(key))
            return text + ": did you mean " + std::string(k.key) + " in [" +
                   std::string(k.section) + "]?";
    }
    const std::string near = NearestName(key, keysOf(sectionName));
    if (!near.empty())
        return text + ": did you mean " + near + "?";
    return text + ": it is not used";
}

} // namespace

std::string NearestName(std::string_view name, const std::vector<std::string_view>& candidates)
{
    std::string best;
    std::size_t bestDistance = tolerance(name) + 1;
    for (const std::string_view& c : candidates) {
        const std::size_t d = distance(name, c);
        if (d < bestDistance) {
            bestDistance = d;
            best = std::string(c);
        }
    }
    return best;
}

std::vector<std::string> FindSettingsProblems(std::string_view iniText)
{
    std::vector<std::string> problems;
    std::map<std::string, int> sectionLines; // lowered section name → its first line
    std::map<std::string, int> keyLines;     // lowered key name of this section → its line
    std::string_view section;                // the section being read, as written
    const std::string_view* known = nullptr; // its catalogue name when known
    bool ignored = false;                    // a repeated section: nothing in it is read
    bool outsideReported = false;
    int line = 0;
    std::size_t pos = iniText.starts_with("\xEF\xBB\xBF") ? 3 : 0; // a UTF-8 byte order mark
    while (pos <= iniText.size()) {
        const std::size_t end = std::min(iniText.find('\n', pos), iniText.size());
        const std::string_view raw = iniText.substr(pos, end - pos);
        pos = end + 1;
        ++line;
        const std::string_view text = trimmed(raw);
        if (text.empty() || text[0] == ';')
            continue;
        if (text[0] == '[') {
            const auto close = text.find(']');
            section = trimmed(
                text.substr(1, close == std::string_view::npos ? text.size() - 1 : close - 1));
            known = findSection(section);
            keyLines.clear();
            const auto [at, first] = sectionLines.emplace(lowered(section), line);
            ignored = !first;
            if (ignored) {
                problems.push_back("section [" + std::string(section) + "] comes again (" +
                                   lineText(line) + "): its keys are not read, the first [" +
                                   std::string(section) + "] (" + lineText(at->second) +
                                   ") is used");
            } else if (!known) {
                const std::string warning = "unknown section [" + std::string(section) + "] (" +
                                            lineText(line) + "): its keys are not read";
                const std::string near = NearestName(section, knownSections());
                problems.push_back(near.empty() ? warning
                                                : warning + "; did you mean [" + near + "]?");
            }
            continue;
        }
        const auto eq = text.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(text.substr(0, eq));
        if (section.empty() && !ignored) {
            if (!outsideReported)
                problems.push_back("key " + std::string(key) + " before the first section (" +
                                   lineText(line) + ") is not read");
            outsideReported = true;
            continue;
        }
        if (ignored || !known)
            continue;
        const auto [at, first] = keyLines.emplace(lowered(key), line);
        if (!first) {
            problems.push_back(std::string(key) + " comes again in [" + std::string(*known) +
                               "] (" + lineText(line) + "): the first one (" +
                               lineText(at->second) + ") is used");
        } else if (!FindSettingKey(*known, key)) {
            problems.push_back(unknownKey(key, *known, line));
        }
    }
    return problems;
}

std::vector<std::string> SettingsFileProblems(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return FindSettingsProblems(text.str());
}

std::vector<std::string> SettingsWarnings(const std::string& path)
{
    std::vector<std::string> warnings = SettingsFileProblems(path);
    for (std::string& problem : SettingsValueProblems())
        warnings.push_back(std::move(problem));
    return warnings;
}

} // namespace vistrel
