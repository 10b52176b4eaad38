#pragma once

#include <QString>

#include <optional>

namespace vistrel {

// The decisions of the settings pages that need no window, kept apart so they can be tested
// alone.

// How a page reads a number typed into an edit: blanks around it, an optional sign, then digits
// only, within the 32-bit range. ParseNonNegativeInteger refuses a minus sign.
std::optional<int> ParseInteger(const QString& text);
std::optional<int> ParseNonNegativeInteger(const QString& text);

// The validation texts of the numeric edits.
inline constexpr const char* kEnterIntegerText = "Please enter an integer.";
inline constexpr const char* kEnterPositiveIntegerText = "Please enter a positive integer.";
// "Please enter an integer between %1 and %2."
QString EnterIntegerBetweenText(int low, int high);
// "Please enter no more than %1 characters."
QString EnterNoMoreThanText(int characters);
// A password whose scrambled form would not fit the settings file.
QString PasswordTooLongText();

// Seconds of one unit of the capture interval list: 0 seconds, 1 minutes, 2 hours; any other
// index counts as seconds.
int IntervalUnitSeconds(int unitIndex);

// The Capture page's text for the time between archived images:
//   seconds = archive interval x capture interval x unit, in 32-bit integers (wrapping as the
// stored values would); "(%.1f days)" from a day up, "(%.1f hours)" from an hour up,
// "(%d seconds)" below a minute and "(%.1f minutes)" otherwise, each figure computed with a
// single-precision factor (1/86400, 1/3600, 1/60) as the program always has.
QString ArchiveTimeText(int archiveInterval, int captureInterval, int unitIndex);

// The display format of the Capture page's time pickers for a locale's short time format:
// "HH" + separator + "mm" when the locale uses a 24-hour clock, "h" + separator + "mm AP"
// otherwise, with the locale's separator between hours and minutes (':' when it has none).
QString TimePickerFormat(const QString& localeTimeFormat);

// The Location page's file name rule: the FTP file name's extension (after the last '.' of its
// last path component) must be ".jpg" in any letter case.
bool HasJpgExtension(const QString& fileName);

} // namespace vistrel
