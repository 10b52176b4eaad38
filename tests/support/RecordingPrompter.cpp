#include "RecordingPrompter.h"

namespace vistrel::test {

void RecordingPrompter::message(const std::string& text, PromptIcon icon)
{
    std::lock_guard lock(m_mutex);
    m_shown.push_back({text, icon, false});
}

bool RecordingPrompter::askYesNo(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_shown.push_back({text, PromptIcon::Question, true});
    if (m_answers.empty())
        return false;
    const bool answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void RecordingPrompter::setNextAnswer(bool yes)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(yes);
}

std::vector<RecordingPrompter::Shown> RecordingPrompter::shown() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

std::vector<std::string> RecordingPrompter::texts() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& s : m_shown)
        out.push_back(s.text);
    return out;
}

void RecordingPrompter::clear()
{
    std::lock_guard lock(m_mutex);
    m_shown.clear();
    m_answers.clear();
}

} // namespace vistrel::test
