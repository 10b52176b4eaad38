#include "survey/SurveyCommandLine.h"

namespace vistrel {

void CSurveyCommandLine::ParseParam(const std::string& argument)
{
    if (!argument.empty() && (argument[0] == '/' || argument[0] == '-')) {
        m_strLastOption = argument.substr(1);
        return;
    }
    if (m_strLastOption.compare(0, 5, "title") == 0)
        m_strTitle = argument;
    else if (m_strLastOption.compare(0, 3, "url") == 0)
        m_strAddress = argument;
}

void CSurveyCommandLine::Parse(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
        ParseParam(argv[i]);
}

} // namespace vistrel
