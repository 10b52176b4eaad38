#pragma once

#include <string>

namespace vistrel {

// Whether a window can be shown before a QApplication is made (Qt aborts the process when its
// platform cannot start). True when QT_QPA_PLATFORM names a platform (the user chose it), when
// the X display in DISPLAY accepts a connection, or when the Wayland socket in WAYLAND_DISPLAY
// does. Otherwise false with *reason saying why, for example "DISPLAY is not set".
bool DisplayAvailable(std::string* reason);

// The message a desktop program prints on standard error when there is no display:
// "<program>: cannot show a window: <reason>." followed by hint on a line of its own when given.
std::string NoDisplayMessage(const std::string& program, const std::string& reason,
                             const std::string& hint = {});

} // namespace vistrel
