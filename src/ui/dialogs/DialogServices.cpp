#include "ui/dialogs/DialogServices.h"

#include "ui/HelpWindow.h"
#include "ui/dialogs/SampleSizeNotice.h"
#include "widgets/MessageBoxPrompter.h"

#include <QFileDialog>

namespace vistrel {

DialogSupport::DialogSupport(DialogServices services, QWidget* owner)
    : m_services(std::move(services)), m_pOwner(owner)
{
    if (!m_services.prompter)
        m_ownPrompter = std::make_unique<MessageBoxPrompter>(QStringLiteral("Vistrel"), owner);
}

DialogSupport::~DialogSupport() = default;

std::string DialogSupport::GrabSample() const
{
    return m_services.grabSample ? m_services.grabSample() : std::string();
}

void DialogSupport::Message(const std::string& text) const
{
    Prompter* prompter = m_services.prompter ? m_services.prompter : m_ownPrompter.get();
    prompter->message(text);
}

void DialogSupport::ShowSizeNotice() const
{
    if (m_services.showSizeNotice) {
        m_services.showSizeNotice(m_pOwner);
        return;
    }
    SampleSizeNotice notice(m_pOwner);
    notice.exec();
}

QString DialogSupport::ChooseOpenFile(const FileDialogRequest& request) const
{
    if (m_services.chooseOpenFile)
        return m_services.chooseOpenFile(m_pOwner, request);
    // Qt's dialogs only offer existing files for opening and never change the working folder.
    return QFileDialog::getOpenFileName(m_pOwner, request.title, request.start, request.filter);
}

void DialogSupport::ShowHelp(int context) const
{
    if (m_services.showHelp)
        m_services.showHelp(m_pOwner, context);
    else
        ShowHelpTopic(context, m_pOwner);
}

} // namespace vistrel
