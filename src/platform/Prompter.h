#pragma once

#include <string>

namespace vistrel {

// The icon a message box shows. A box with only an OK button shows Exclamation unless its caller
// names another; a yes/no question always shows Question.
enum class PromptIcon { Exclamation, Stop, Information, Question };

// Every message box and question of the program goes through a Prompter: Qt message boxes in the
// desktop program (caption "Vistrel"), log lines in the headless publisher, a recording stub in
// tests. Nothing below the user interface pops a widget itself.
class Prompter {
  public:
    virtual ~Prompter() = default;

    // An OK-only message box.
    virtual void message(const std::string& text, PromptIcon icon = PromptIcon::Exclamation) = 0;

    // A Yes/No question with the question icon; true means Yes.
    virtual bool askYesNo(const std::string& text) = 0;
};

} // namespace vistrel
