#include "ui/sheet/PageKeys.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "ui/sheet/PageRules.h"
#include "ui/sheet/UpDownEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

namespace vistrel {

void PageKeys::add(const SettingKey& key, IntGetter get, IntSetter set)
{
    m_entries.push_back({&key, std::move(get), std::move(set), {}, {}});
}

void PageKeys::add(const SettingKey& key, TextGetter get, TextSetter set)
{
    m_entries.push_back({&key, {}, {}, std::move(get), std::move(set)});
}

void PageKeys::add(const SettingKey& key, QCheckBox* box)
{
    add(
        key, [box] { return box->isChecked() ? 1 : 0; }, [box](int v) { box->setChecked(v != 0); });
}

void PageKeys::add(const SettingKey& key, QLineEdit* edit)
{
    add(
        key, [edit] { return edit->text().toStdString(); },
        [edit](const std::string& v) { edit->setText(FromStd(v)); });
}

void PageKeys::add(const SettingKey& key, QComboBox* list)
{
    add(
        key, [list] { return list->currentIndex(); },
        [list](int v) { list->setCurrentIndex(v >= 0 && v < list->count() ? v : -1); });
}

void PageKeys::add(const SettingKey& key, CUpDownEdit* edit)
{
    add(
        key, [edit] { return ParseInteger(edit->edit()->text()).value_or(0); },
        [edit](int v) { edit->setNumber(v); });
}

void PageKeys::add(const SettingKey& key, QSlider* slider)
{
    add(
        key, [slider] { return slider->value(); }, [slider](int v) { slider->setValue(v); });
}

void PageKeys::add(const SettingKey& key, int* value)
{
    add(
        key, [value] { return *value; }, [value](int v) { *value = v; });
}

void PageKeys::add(const SettingKey& key, std::string* value)
{
    add(
        key, [value] { return *value; }, [value](const std::string& v) { *value = v; });
}

void PageKeys::load() const
{
    for (const Entry& e : m_entries) {
        if (e.setInt)
            e.setInt(ReadPageInt(*e.key));
        else
            e.setText(ReadPageString(*e.key));
    }
}

bool PageKeys::save() const
{
    bool ok = true;
    for (const Entry& e : m_entries) {
        if (e.getInt)
            ok = WriteSetting(*e.key, e.getInt()) && ok;
        else
            ok = WriteSetting(*e.key, e.getText()) && ok;
    }
    return ok;
}

std::vector<std::string> PageKeys::names() const
{
    std::vector<std::string> out;
    for (const Entry& e : m_entries)
        out.push_back(e.key->name());
    return out;
}

} // namespace vistrel
