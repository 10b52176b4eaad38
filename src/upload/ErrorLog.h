#pragma once

#include <ctime>
#include <string>

namespace vistrel {

// One error-log entry: the local time as "%m-%d-%y %H:%M", " - ", the failure text and a line
// break. The log is a text file with CR LF line ends, so every LF of the text becomes CR LF too.
std::string FormatErrorLogEntry(std::time_t when, const std::string& text);

// Appends one entry to programFolder + "error.log", creating the file when missing and never
// truncating it. A log that cannot be opened is skipped silently: a failed cycle must not fail
// twice because of its log.
void AppendErrorLog(const std::string& programFolder, const std::string& text, std::time_t when);

} // namespace vistrel
