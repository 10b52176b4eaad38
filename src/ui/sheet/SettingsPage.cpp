#include "ui/sheet/SettingsPage.h"

#include "ui/sheet/UpDownEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <string_view>

namespace vistrel {

CSettingsPage::CSettingsPage(Hub& hub, Prompter& prompter, QWidget* parent)
    : QWidget(parent), m_hub(hub), m_prompter(prompter)
{
}

void CSettingsPage::open()
{
    if (m_bOpen)
        return;
    m_bOpen = true;
    m_bLoading = true;
    loadSettings();
    m_bLoading = false;
    opened();
}

bool CSettingsPage::apply()
{
    const bool stored = saveSettings();
    m_hub.ApplySettingsPage(reloadGroup());
    return stored;
}

void CSettingsPage::markModified()
{
    if (!m_bLoading)
        emit modified();
}

void CSettingsPage::watch(std::initializer_list<QWidget*> controls)
{
    for (QWidget* w : controls) {
        if (auto* box = qobject_cast<QCheckBox*>(w))
            connect(box, &QCheckBox::toggled, this, &CSettingsPage::markModified);
        else if (auto* list = qobject_cast<QComboBox*>(w))
            connect(list, &QComboBox::currentIndexChanged, this, &CSettingsPage::markModified);
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            connect(edit, &QLineEdit::textChanged, this, &CSettingsPage::markModified);
        else if (auto* upDown = qobject_cast<CUpDownEdit*>(w))
            connect(upDown, &CUpDownEdit::textChanged, this, &CSettingsPage::markModified);
        else if (auto* slider = qobject_cast<QSlider*>(w))
            connect(slider, &QSlider::valueChanged, this, &CSettingsPage::markModified);
        else if (auto* time = qobject_cast<QDateTimeEdit*>(w))
            connect(time, &QDateTimeEdit::timeChanged, this, &CSettingsPage::markModified);
    }
}

QCheckBox* CSettingsPage::MakeCheck(const char* name, const char* text, QWidget* parent)
{
    auto* box = new QCheckBox(QString::fromUtf8(text), parent ? parent : this);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QPushButton* CSettingsPage::MakeButton(const char* name, const char* text, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent ? parent : this);
    button->setObjectName(QString::fromLatin1(name));
    if (std::string_view(text) == "...")
        button->setMaximumWidth(32);
    return button;
}

QLineEdit* CSettingsPage::MakeEdit(const char* name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent ? parent : this);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

} // namespace vistrel
