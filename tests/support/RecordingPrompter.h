#pragma once

#include "platform/Prompter.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vistrel::test {

// A Prompter for tests: records every box shown and answers questions from a queue of next
// answers (No when the queue is empty). Safe to use from a worker thread.
class RecordingPrompter : public Prompter {
  public:
    struct Shown {
        std::string text;
        PromptIcon icon;
        bool question;
    };

    void message(const std::string& text, PromptIcon icon = PromptIcon::Exclamation) override;
    bool askYesNo(const std::string& text) override;

    void setNextAnswer(bool yes);
    std::vector<Shown> shown() const;
    std::vector<std::string> texts() const;
    void clear();

  private:
    mutable std::mutex m_mutex;
    std::vector<Shown> m_shown;
    std::deque<bool> m_answers;
};

} // namespace vistrel::test
