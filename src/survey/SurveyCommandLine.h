#pragma once

#include <string>

namespace vistrel {

// The uninstall survey's command line: "/title NAME /url ADDRESS" (or with '-'). An argument
// starting with '/' or '-' names the option that the following values belong to; an option is
// "title" when it begins with those five letters and "url" when it begins with those three
// (case-sensitive). The last value wins; values before the first option and values of other
// options are ignored.
class CSurveyCommandLine {
  public:
    void ParseParam(const std::string& argument);
    // Parses argv[1] onwards.
    void Parse(int argc, const char* const* argv);

    const std::string& GetTitle() const { return m_strTitle; }
    const std::string& GetAddress() const { return m_strAddress; }
    const std::string& GetLastOption() const { return m_strLastOption; }

  private:
    std::string m_strLastOption;
    std::string m_strTitle;
    std::string m_strAddress;
};

} // namespace vistrel
