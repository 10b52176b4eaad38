// Writes vistrel.ini(5): the page's template with its KEYS section made from the program's key
// catalogue, each key with its type, its default, the value the settings pages show when it is
// missing, and its meaning from the meanings file. So the manual and the program cannot drift
// apart: a key without a meaning, or a meaning of a key the program does not have, fails the
// build.
//   vistrel_mankeys TEMPLATE MEANINGS OUTPUT
#include "config/KeyCatalogue.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

using namespace vistrel;

namespace {

// A number's range as the page prints it, minus signs as troff's.
std::string number(int value)
{
    const std::string text = std::to_string(value);
    return text[0] == '-' ? "\\-" + text.substr(1) : text;
}

std::string typeName(const SettingKey& k)
{
    switch (k.type) {
    case SettingType::Integer:
        if (k.minimum == INT_MIN && k.maximum == INT_MAX)
            return "number";
        if (k.maximum == INT_MAX)
            return "number, " + number(k.minimum) + " or more";
        return "number, " + number(k.minimum) + " to " + number(k.maximum);
    case SettingType::Flag:
        return "flag";
    case SettingType::Choice: {
        std::string text = "choice of";
        for (const SettingChoice& c : k.choices)
            text += " " + number(c.value);
        return text;
    }
    case SettingType::Colour:
        return "colour";
    case SettingType::String:
        return "text";
    case SettingType::Path:
        return "file name";
    case SettingType::FontFace:
        return "font name";
    case SettingType::Password:
        return "scrambled password";
    }
    return "value";
}

// A value as the page prints it: texts quoted, an empty one said so, minus signs as troff's.
std::string shown(const SettingKey& k, std::string_view value)
{
    if (!k.isNumeric())
        return value.empty() ? "empty" : "\"" + std::string(value) + "\"";
    std::string out;
    for (char c : value)
        out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: vistrel_mankeys TEMPLATE MEANINGS OUTPUT\n");
        return 2;
    }
    std::map<std::string, std::string> meanings;
    std::ifstream meaningFile(argv[2]);
    int failures = 0;
    for (std::string line; std::getline(meaningFile, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto tab = line.find('\t');
        const std::string name = line.substr(0, tab);
        const auto slash = name.find('/');
        if (tab == std::string::npos || slash == std::string::npos ||
            !FindSettingKey(name.substr(0, slash), name.substr(slash + 1))) {
            std::fprintf(stderr, "%s: %s is not a key of the settings file\n", argv[2],
                         name.c_str());
            ++failures;
            continue;
        }
        meanings[name] = line.substr(tab + 1);
    }

    std::ostringstream keys;
    std::string_view section;
    for (const SettingKey& k : SettingKeys()) {
        if (k.section != section) {
            section = k.section;
            keys << ".SS [" << section << "]\n";
        }
        const std::string name = std::string(k.section) + "/" + std::string(k.key);
        const auto meaning = meanings.find(name);
        if (meaning == meanings.end()) {
            std::fprintf(stderr, "%s: no meaning for %s\n", argv[2], name.c_str());
            ++failures;
            continue;
        }
        keys << ".TP\n.B " << k.key << "\n"
             << typeName(k) << "; default " << shown(k, k.programDefault);
        if (k.pageDefault && std::string_view(k.pageDefault) != k.programDefault)
            keys << "; page " << shown(k, k.pageDefault);
        keys << ".\n" << meaning->second << "\n";
    }
    if (failures)
        return 1;

    std::ifstream templ(argv[1]);
    std::ostringstream page;
    for (std::string line; std::getline(templ, line);)
        page << (line.starts_with(".\\\" KEYS:") ? keys.str() : line + "\n");
    std::ofstream out(argv[3], std::ios::binary);
    out << page.str();
    return out ? 0 : 1;
}
