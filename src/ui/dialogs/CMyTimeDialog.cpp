#include "ui/dialogs/CMyTimeDialog.h"

#include "ui/HelpWindow.h"

#include <QComboBox>
#include <QLocale>

namespace vistrel {

CMyTimeDialog::CMyTimeDialog(const DateTimeProperties& values, DialogServices services,
                             QWidget* parent, std::function<QDateTime()> now)
    : StampFontDialog(QStringLiteral("Date/Time Properties"), kHelpDateTimeDialog,
                      {values.font, values.color, values.alignment, values.shadow},
                      std::move(services), parent),
      m_now(std::move(now)), m_nFormat(values.format)
{
    m_pFormat = new QComboBox(this);
    m_pFormat->setObjectName(QStringLiteral("format"));
    const QDateTime when = Now();
    for (int code = 0; code <= 5; ++code)
        m_pFormat->addItem(DateTimeStampText(when, code, QLocale::system()));
    // A stored code outside the list shows no selection and is kept unless one is chosen.
    m_pFormat->setCurrentIndex(values.format >= 0 && values.format <= 5 ? values.format : -1);
    AddOwnRow(QStringLiteral("F&ormat:"), m_pFormat);
    connect(m_pFormat, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0)
            return;
        m_nFormat = index;
        RedrawSample();
    });
    Open();
}

DateTimeProperties CMyTimeDialog::Values() const
{
    const CommonValues common = Common();
    return {common.font, common.color, common.alignment, common.shadow, m_nFormat};
}

QDateTime CMyTimeDialog::Now() const
{
    return m_now ? m_now() : QDateTime::currentDateTime();
}

QString CMyTimeDialog::SampleText() const
{
    return DateTimeStampText(Now(), m_nFormat, QLocale::system());
}

} // namespace vistrel
