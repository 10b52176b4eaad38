#include "ui/dialogs/CMyFontDialog.h"

#include "ui/HelpWindow.h"

#include <QLineEdit>

namespace vistrel {

CMyFontDialog::CMyFontDialog(const BannerProperties& values, DialogServices services,
                             QWidget* parent)
    : StampFontDialog(QStringLiteral("Banner Properties"), kHelpBannerDialog,
                      {values.font, values.color, values.alignment, values.shadow},
                      std::move(services), parent)
{
    m_pText = new QLineEdit(QString::fromStdString(values.text), this);
    m_pText->setObjectName(QStringLiteral("text"));
    AddOwnRow(QStringLiteral("&Text:"), m_pText);
    connect(m_pText, &QLineEdit::textChanged, this, [this] { RedrawSample(); });
    Open();
}

BannerProperties CMyFontDialog::Values() const
{
    const CommonValues common = Common();
    return {common.font, common.color, m_pText->text().toStdString(), common.alignment,
            common.shadow};
}

QString CMyFontDialog::SampleText() const
{
    return m_pText->text();
}

} // namespace vistrel
