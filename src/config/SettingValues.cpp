#include "config/SettingValues.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "platform/Profile.h"

namespace vistrel {

namespace {

const SettingChoice* choiceOf(const SettingKey& k, int value)
{
    for (const SettingChoice& c : k.choices)
        if (c.value == value)
            return &c;
    return nullptr;
}

// "(upload off)", "(on)", "(seconds)" or nothing.
std::string meaning(const SettingKey& k, int value)
{
    if (const SettingChoice* c = choiceOf(k, value))
        return " (" + std::string(c->meaning) + ")";
    if (k.type == SettingType::Flag)
        return value ? " (on)" : " (off)";
    return {};
}

std::string accepted(const SettingKey& k)
{
    if (k.type == SettingType::Flag)
        return "use 1 or 0";
    if (k.type == SettingType::Choice) {
        std::string text = "use ";
        for (std::size_t i = 0; i < k.choices.size(); ++i) {
            if (i > 0)
                text += i + 1 == k.choices.size() ? " or " : ", ";
            text +=
                std::to_string(k.choices[i].value) + " (" + std::string(k.choices[i].meaning) + ")";
        }
        return text;
    }
    if (k.type == SettingType::Colour)
        return "use 0 (black) to 16777215 (white), blue * 65536 + green * 256 + red";
    if (k.minimum == INT_MIN && k.maximum == INT_MAX)
        return "use a whole number";
    if (k.maximum == INT_MAX)
        return "use " + std::to_string(k.minimum) + " or more";
    return "use " + std::to_string(k.minimum) + " to " + std::to_string(k.maximum);
}

// What the program does with the value: the reading, or for a key that decides security the
// refusal.
std::string consequence(const SettingKey& k, int value)
{
    if (k.decidesSecurity)
        return "FTP log-ons are refused until it is corrected";
    return "read as " + std::to_string(value) + meaning(k, value);
}

} // namespace

std::optional<std::string> CheckSettingValue(const SettingKey& k, std::string_view value)
{
    const std::string shown = k.name() + "=" + std::string(value);
    if (k.type == SettingType::FontFace) {
        // Counted in characters, as the loader cuts it.
        std::size_t characters = 0;
        for (char c : value)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (characters > kFontFaceMax)
            return shown + ": longer than " + std::to_string(kFontFaceMax) +
                   " characters, read as its first " + std::to_string(kFontFaceMax);
        return std::nullopt;
    }
    if (!k.isNumeric())
        return std::nullopt;
    bool whole = false;
    const int read = ParseProfileInt(value, k.programDefaultInt(), &whole);
    if (!whole)
        return shown + " is not a number: " + consequence(k, read) + "; " + accepted(k);
    if (k.type == SettingType::Flag)
        return std::nullopt; // any number: non-zero counts as set
    if (k.type == SettingType::Choice) {
        if (choiceOf(k, read))
            return std::nullopt;
        return shown + ": not one of its choices, " + consequence(k, read) + "; " + accepted(k);
    }
    if (read < k.minimum)
        return shown + ": below " + std::to_string(k.minimum) + ", " + consequence(k, read) + "; " +
               accepted(k);
    if (read > k.maximum)
        return shown + ": above " + std::to_string(k.maximum) + ", " + consequence(k, read) + "; " +
               accepted(k);
    return std::nullopt;
}

std::vector<std::string> SettingsValueProblems()
{
    std::vector<std::string> problems;
    for (const SettingKey& k : SettingKeys()) {
        if (!SettingPresent(k))
            continue;
        if (auto problem = CheckSettingValue(k, IniReadString(k.section, k.key, "")))
            problems.push_back(std::move(*problem));
    }
    return problems;
}

std::string FtpSecurityRefusal()
{
    std::string refusal;
    for (const SettingKey& k : SettingKeys()) {
        if (!k.decidesSecurity || !SettingPresent(k))
            continue;
        if (auto problem = CheckSettingValue(k, IniReadString(k.section, k.key, "")))
            refusal += (refusal.empty() ? "" : "; ") + *problem;
    }
    return refusal;
}

} // namespace vistrel
