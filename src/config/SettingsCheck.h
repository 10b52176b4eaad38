#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vistrel {

// What a settings file holds that the program will never read, as one-line warnings in the order
// of the file, each naming the line:
//  - a section the key catalogue does not know ("[UploadOption]"), with the nearest known one;
//  - a key its section does not know ("FTPServr"), with the nearest known key of that section,
//    or the section that does have a key of that name ("Message" belongs to [ImageOptions]);
//  - a section or key that comes a second time: the first one wins, the later one is not read;
//  - a key before the first section.
// Nothing is changed in the file: unknown keys stay where they are.
std::vector<std::string> FindSettingsProblems(std::string_view iniText);

// The same for a settings file on disk (nothing for a file that does not exist).
std::vector<std::string> SettingsFileProblems(const std::string& path);

// Everything a user should hear about the settings file at path, once at start (and after a
// re-read): the names above, then each present value that does not read as its key's type says
// (see SettingValues.h). The file must be the run's settings file for the values.
std::vector<std::string> SettingsWarnings(const std::string& path);

// The catalogue name nearest to name (letter case aside) among candidates, or an empty text when
// none is near enough to be a likely typo.
std::string NearestName(std::string_view name, const std::vector<std::string_view>& candidates);

} // namespace vistrel
