#include "ui/sheet/VideoSourceDialog.h"

#include "ui/sheet/PageKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace vistrel {

CVideoSourceDialog::CVideoSourceDialog(std::vector<CaptureControl> controls,
                                       ControlSetter setControls, QWidget* parent)
    : QDialog(parent), m_setControls(std::move(setControls)), m_controls(std::move(controls))
{
    setWindowTitle(QStringLiteral("Video Source"));
    setObjectName(QStringLiteral("videoSource"));

    auto* inner = new QWidget;
    auto* form = new QFormLayout(inner);
    for (const CaptureControl& c : m_controls) {
        QWidget* w = MakeWidget(c);
        if (c.type == CaptureControl::Type::Button)
            form->addRow(QString(), w);
        else
            form->addRow(FromStd(c.name), w);
    }
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(inner);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);

    m_pError = new QLabel(this);
    m_pError->setObjectName(QStringLiteral("controlError"));
    m_pError->setWordWrap(true);
    m_pError->hide();

    auto* reset = new QPushButton(QStringLiteral("Reset to defaults"), this);
    reset->setObjectName(QStringLiteral("resetToDefaults"));
    reset->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this, &CVideoSourceDialog::resetToDefaults);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CVideoSourceDialog::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(reset);
    bottom->addStretch(1);
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addWidget(m_pError);
    layout->addLayout(bottom);
    resize(460, std::min(120 + 36 * static_cast<int>(m_controls.size()), 560));
}

QWidget* CVideoSourceDialog::MakeWidget(const CaptureControl& c)
{
    switch (c.type) {
    case CaptureControl::Type::Boolean: {
        auto* box = new QCheckBox;
        box->setChecked(c.value != 0);
        connect(box, &QCheckBox::toggled, this, [this, c](bool on) { Set(c, on ? 1 : 0); });
        m_show[c.id] = [box](std::int32_t v) {
            const QSignalBlocker block(box);
            box->setChecked(v != 0);
        };
        m_widgets[c.id] = box;
        return box;
    }
    case CaptureControl::Type::Menu: {
        auto* list = new QComboBox;
        std::vector<std::pair<std::int32_t, std::string>> items = c.menuItems;
        if (items.empty()) // a menu without names: its values
            for (std::int32_t v = c.minimum; v <= c.maximum && items.size() < 256; ++v)
                items.emplace_back(v, std::to_string(v));
        for (const auto& [value, name] : items)
            list->addItem(FromStd(name), value);
        list->setCurrentIndex(list->findData(c.value));
        connect(list, &QComboBox::activated, this,
                [this, c, list](int index) { Set(c, list->itemData(index).toInt()); });
        m_show[c.id] = [list](std::int32_t v) { list->setCurrentIndex(list->findData(v)); };
        m_widgets[c.id] = list;
        return list;
    }
    case CaptureControl::Type::Button: {
        auto* button = new QPushButton(FromStd(c.name));
        button->setAutoDefault(false);
        // A button control acts when it is written; the value is ignored.
        connect(button, &QPushButton::clicked, this, [this, c] { SetAll({{c.id, c.maximum}}); });
        m_widgets[c.id] = button;
        return button;
    }
    case CaptureControl::Type::Integer:
    default: {
        auto* row = new QWidget;
        auto* slider = new QSlider(Qt::Horizontal, row);
        slider->setObjectName(QStringLiteral("slider"));
        slider->setRange(c.minimum, c.maximum);
        slider->setSingleStep(std::max(c.step, 1));
        slider->setPageStep(std::max(c.step, (c.maximum - c.minimum) / 10));
        slider->setValue(c.value);
        auto* value = new QLabel(QString::number(c.value), row);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("-00000")));
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(slider, 1);
        h->addWidget(value);
        connect(slider, &QSlider::valueChanged, this, [this, c, value](int v) {
            value->setText(QString::number(v));
            Set(c, v);
        });
        m_show[c.id] = [slider, value](std::int32_t v) {
            const QSignalBlocker block(slider);
            slider->setValue(v);
            value->setText(QString::number(slider->value()));
        };
        m_widgets[c.id] = slider;
        return row;
    }
    }
}

QWidget* CVideoSourceDialog::widgetFor(std::uint32_t id) const
{
    const auto it = m_widgets.find(id);
    return it == m_widgets.end() ? nullptr : it->second;
}

void CVideoSourceDialog::Set(const CaptureControl& c, std::int32_t value)
{
    m_changed.emplace(c.id, c.value); // the first change remembers the value found
    SetAll({{c.id, value}});
}

void CVideoSourceDialog::SetAll(const std::vector<std::pair<std::uint32_t, std::int32_t>>& values)
{
    const std::vector<std::string> errors = m_setControls(values);
    for (std::size_t i = 0; i < values.size() && i < errors.size(); ++i) {
        if (errors[i].empty())
            continue;
        const auto c =
            std::find_if(m_controls.begin(), m_controls.end(),
                         [&](const CaptureControl& k) { return k.id == values[i].first; });
        const std::string name = c == m_controls.end() ? std::string() : c->name;
        m_pError->setText(FromStd(name + ": " + errors[i]));
        m_pError->show();
        return;
    }
    m_pError->hide();
}

void CVideoSourceDialog::resetToDefaults()
{
    // One trip to the camera for all of them: a slow camera keeps the wait to one.
    std::vector<std::pair<std::uint32_t, std::int32_t>> values;
    for (const CaptureControl& c : m_controls) {
        const auto show = m_show.find(c.id);
        if (show == m_show.end())
            continue; // buttons have no value
        m_changed.emplace(c.id, c.value);
        values.emplace_back(c.id, c.defaultValue);
        show->second(c.defaultValue);
    }
    SetAll(values);
}

void CVideoSourceDialog::reject()
{
    if (!m_changed.empty()) {
        const std::vector<std::pair<std::uint32_t, std::int32_t>> values(m_changed.begin(),
                                                                         m_changed.end());
        m_changed.clear(); // a second Cancel (the program ending meanwhile) sets nothing again
        m_setControls(values);
    }
    QDialog::reject();
}

} // namespace vistrel
