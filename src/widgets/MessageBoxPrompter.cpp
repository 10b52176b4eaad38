#include "widgets/MessageBoxPrompter.h"

#include "widgets/SessionEnd.h"

#include <QMessageBox>

namespace vistrel {

namespace {

QString BoxText(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

void MessageBoxPrompter::message(const std::string& text, PromptIcon icon)
{
    if (SessionEnding())
        return; // nobody is there to click it
    QMessageBox::Icon boxIcon = QMessageBox::Warning;
    switch (icon) {
    case PromptIcon::Exclamation:
        boxIcon = QMessageBox::Warning;
        break;
    case PromptIcon::Stop:
        boxIcon = QMessageBox::Critical;
        break;
    case PromptIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case PromptIcon::Question:
        boxIcon = QMessageBox::Question;
        break;
    }
    QMessageBox box(boxIcon, m_strCaption, BoxText(text), QMessageBox::Ok, m_pParent);
    box.exec();
}

bool MessageBoxPrompter::askYesNo(const std::string& text)
{
    if (SessionEnding())
        return false;
    QMessageBox box(QMessageBox::Question, m_strCaption, BoxText(text),
                    QMessageBox::Yes | QMessageBox::No, m_pParent);
    return box.exec() == QMessageBox::Yes;
}

} // namespace vistrel
