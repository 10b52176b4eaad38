#pragma once

#include <string>

namespace vistrel {

// Starting the desktop program when the user logs in: an XDG autostart entry for each settings
// file, $XDG_CONFIG_HOME/autostart/vistrel.desktop for the default one and
// vistrel-<name>.desktop for "vistrel <name>" (~/.config/autostart/ when that variable is unset
// or not absolute); the entry starts the program with its settings name. The entry counts as ours
// only when its Exec line is exactly the expected command, so an entry that starts the program some
// other way (another path, extra options) is shown as off, and switching it off removes it.

// The expected command: the program's path and nothing else, in double quotes when the path
// holds a character the desktop-entry Exec syntax reserves (a blank, a quote, '\\', '$', ';' …),
// with '"', '`', '$' and '\\' escaped inside the quotes; '%' is always doubled. "/usr/bin/vistrel"
// stays as it is; "/opt/my cams/vistrel" becomes "\"/opt/my cams/vistrel\"".
// With a settingsName (the command line's tail, "" for the default file) it follows as one
// argument, quoted the same way: "/usr/bin/vistrel cam".
std::string AutostartCommand(const std::string& programPath, const std::string& settingsName = {});

// The running program's own path (/proc/self/exe), or an empty text when it cannot be read.
std::string RunningProgramPath();

// Where the entry of a settings name lives. A name of other characters than letters, digits,
// '-', '_' and '.' (a path, a blank) is written with '-' for them and a hash of the whole name,
// so two names never share an entry.
std::string AutostartEntryPath(const std::string& settingsName = {});

// True when the entry exists, is not hidden (Hidden=true) and its Exec line is exactly command.
bool IsAutostartEnabled(const std::string& command, const std::string& settingsName = {});

// Writes the entry with command as its Exec line (the folder is created when needed; the file is
// replaced as a whole). False with *error set when it cannot be written.
bool EnableAutostart(const std::string& command, std::string* error = nullptr,
                     const std::string& settingsName = {});

// Removes the entry, whatever command it holds. True when no entry is left.
bool DisableAutostart(std::string* error = nullptr, const std::string& settingsName = {});

} // namespace vistrel
