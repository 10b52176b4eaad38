#include "capture/CameraControls.h"

#include "capture/CaptureDevice.h"

#include <charconv>

namespace vistrel {

namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string range(const CaptureControl& c)
{
    std::string text = std::to_string(c.minimum) + " to " + std::to_string(c.maximum);
    if (c.step > 1)
        text += " in steps of " + std::to_string(c.step);
    return text;
}

} // namespace

std::string ControlKeyName(const std::string& name)
{
    std::string key;
    bool gap = false;
    for (unsigned char c : name) {
        const bool word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!word) {
            gap = !key.empty();
            continue;
        }
        if (gap)
            key += '_';
        gap = false;
        key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return key;
}

std::vector<ControlSetting> ParseCameraControls(const std::string& text,
                                                std::vector<std::string>* problems)
{
    std::vector<ControlSetting> settings;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find_first_of(",;", start);
        const std::string part =
            trimmed(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        if (part.empty())
            continue;
        const auto equals = part.find('=');
        const std::string name = equals == std::string::npos ? "" : trimmed(part.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? "" : trimmed(part.substr(equals + 1));
        if (name.empty() || value.empty()) {
            if (problems)
                problems->push_back("\"" + part + "\" is no name=value pair");
            continue;
        }
        settings.push_back({ControlKeyName(name), value});
    }
    return settings;
}

bool ControlValue(const CaptureControl& c, const std::string& value, std::int32_t* number,
                  std::string* problem)
{
    const std::string name = ControlKeyName(c.name);
    if (c.type == CaptureControl::Type::Button) {
        *problem = name + " is a button, not a setting";
        return false;
    }
    std::int32_t n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    const bool isNumber = ec == std::errc() && end == value.data() + value.size();
    if (c.type == CaptureControl::Type::Menu) {
        for (const auto& [item, text] : c.menuItems) {
            if ((isNumber && item == n) ||
                (!isNumber && ControlKeyName(text) == ControlKeyName(value))) {
                *number = item;
                return true;
            }
        }
        std::string choices;
        for (const auto& [item, text] : c.menuItems)
            choices +=
                (choices.empty() ? "" : ", ") + std::to_string(item) + " " + ControlKeyName(text);
        *problem = name + "=" + value + " is none of its choices (" + choices + ")";
        return false;
    }
    if (!isNumber) {
        *problem = name + "=" + value + " is no number";
        return false;
    }
    if (n < c.minimum || n > c.maximum ||
        (c.step > 1 && (std::int64_t(n) - c.minimum) % c.step != 0)) {
        *problem = name + "=" + value + " is outside " + range(c);
        return false;
    }
    *number = n;
    return true;
}

std::vector<std::string> ApplyCameraControls(CaptureDevice& device,
                                             const std::vector<ControlSetting>& settings)
{
    std::vector<std::string> problems;
    if (settings.empty())
        return problems;
    const std::vector<CaptureControl> controls = device.controls();
    for (const ControlSetting& s : settings) {
        const CaptureControl* control = nullptr;
        for (const CaptureControl& c : controls)
            if (ControlKeyName(c.name) == s.name)
                control = &c;
        if (!control) {
            problems.push_back("the camera has no control " + s.name);
            continue;
        }
        std::int32_t value = 0;
        std::string problem;
        if (!ControlValue(*control, s.value, &value, &problem))
            problems.push_back(problem);
        else if (!device.setControl(control->id, value))
            problems.push_back(s.name + "=" + s.value + " was refused: " + device.lastError());
    }
    return problems;
}

std::string DescribeControl(const CaptureControl& c)
{
    std::string text = ControlKeyName(c.name) + "=" + std::to_string(c.value) + " (";
    switch (c.type) {
    case CaptureControl::Type::Boolean:
        text += "0 or 1";
        break;
    case CaptureControl::Type::Menu: {
        std::string choices;
        for (const auto& [item, name] : c.menuItems)
            choices +=
                (choices.empty() ? "" : ", ") + std::to_string(item) + " " + ControlKeyName(name);
        text += choices + ";";
        break;
    }
    default:
        text += range(c) + ",";
        break;
    }
    return text + (c.type == CaptureControl::Type::Boolean ? ", " : " ") + "default " +
           std::to_string(c.defaultValue) + ")";
}

} // namespace vistrel
