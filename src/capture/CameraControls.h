#pragma once

#include "capture/CaptureBackend.h"

#include <string>
#include <vector>

namespace vistrel {

class CaptureDevice;

// Camera controls chosen in the settings (ImageFormat/CameraControls): "name=value" pairs split by
// ',' or ';', such as "brightness=140, power_line_frequency=50_hz". A name is the control's own in
// lower case with each run of other characters one '_' ("Exposure, Auto" is exposure_auto); a
// value is a number, or for a menu one of its choices named the same way.

// The settings name of a control or of a menu choice.
std::string ControlKeyName(const std::string& name);

struct ControlSetting {
    std::string name;
    std::string value;
    bool operator==(const ControlSetting&) const = default;
};

// The pairs of text in order; each part that is no name=value pair is named in *problems.
std::vector<ControlSetting> ParseCameraControls(const std::string& text,
                                                std::vector<std::string>* problems);

// The number a setting stands for on control c, or false with *problem set (a value out of the
// control's range, a choice the menu lacks, a button).
bool ControlValue(const CaptureControl& c, const std::string& value, std::int32_t* number,
                  std::string* problem);

// Sets each control on the connected device. Returns the problems, one text each: a name the
// camera lacks, a value it cannot take, a set it refused; the other controls are set all the same.
std::vector<std::string> ApplyCameraControls(CaptureDevice& device,
                                             const std::vector<ControlSetting>& settings);

// A control as the driver list shows it: "brightness=128 (0 to 255, default 128)",
// "power_line_frequency=1 (0 disabled, 1 50_hz, 2 60_hz; default 1)".
std::string DescribeControl(const CaptureControl& c);

} // namespace vistrel
