#pragma once

#include "platform/Prompter.h"

#include <QString>

class QWidget;

namespace vistrel {

// Qt message boxes with the program's name as caption. Once the session ends (SessionEnd.h)
// they are not shown: a message returns at once and a question is answered No.
class MessageBoxPrompter : public Prompter {
  public:
    explicit MessageBoxPrompter(QString caption, QWidget* parent = nullptr)
        : m_strCaption(std::move(caption)), m_pParent(parent)
    {
    }

    void message(const std::string& text, PromptIcon icon = PromptIcon::Exclamation) override;
    bool askYesNo(const std::string& text) override;

  private:
    QString m_strCaption;
    QWidget* m_pParent;
};

} // namespace vistrel
