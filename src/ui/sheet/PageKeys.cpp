#include "ui/sheet/PageKeys.h"

#include "config/KeyCatalogue.h"
#include "config/SettingsFile.h"
#include "ui/sheet/PageRules.h"
#include "ui/sheet/UpDownEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

#include <cstdio>
#include <cstdlib>

namespace vistrel {

const SettingKey* PageKeys::find(std::string_view section, std::string_view key) const
{
    const SettingKey* k = FindSettingKey(section, key);
    if (!k) {
        // A page naming a key the catalogue lacks is a programming error: stop at once.
        std::fprintf(stderr, "settings page: %.*s/%.*s is not a known key\n",
                     static_cast<int>(section.size()), section.data(), static_cast<int>(key.size()),
                     key.data());
        std::abort();
    }
    return k;
}

void PageKeys::add(std::string_view section, std::string_view key, IntGetter get, IntSetter set)
{
    m_entries.push_back({find(section, key), std::move(get), std::move(set), {}, {}});
}

void PageKeys::add(std::string_view section, std::string_view key, TextGetter get, TextSetter set)
{
    m_entries.push_back({find(section, key), {}, {}, std::move(get), std::move(set)});
}

void PageKeys::add(std::string_view section, std::string_view key, QCheckBox* box)
{
    add(
        section, key, [box] { return box->isChecked() ? 1 : 0; },
        [box](int v) { box->setChecked(v != 0); });
}

void PageKeys::add(std::string_view section, std::string_view key, QLineEdit* edit)
{
    add(
        section, key, [edit] { return edit->text().toStdString(); },
        [edit](const std::string& v) { edit->setText(FromStd(v)); });
}

void PageKeys::add(std::string_view section, std::string_view key, QComboBox* list)
{
    add(
        section, key, [list] { return list->currentIndex(); },
        [list](int v) { list->setCurrentIndex(v >= 0 && v < list->count() ? v : -1); });
}

void PageKeys::add(std::string_view section, std::string_view key, CUpDownEdit* edit)
{
    add(
        section, key, [edit] { return ParseInteger(edit->edit()->text()).value_or(0); },
        [edit](int v) { edit->setNumber(v); });
}

void PageKeys::add(std::string_view section, std::string_view key, QSlider* slider)
{
    add(
        section, key, [slider] { return slider->value(); },
        [slider](int v) { slider->setValue(v); });
}

void PageKeys::add(std::string_view section, std::string_view key, int* value)
{
    add(
        section, key, [value] { return *value; }, [value](int v) { *value = v; });
}

void PageKeys::add(std::string_view section, std::string_view key, std::string* value)
{
    add(
        section, key, [value] { return *value; }, [value](const std::string& v) { *value = v; });
}

void PageKeys::load() const
{
    for (const Entry& e : m_entries) {
        if (e.setInt)
            e.setInt(ReadPageInt(e.key->section, e.key->key));
        else
            e.setText(ReadPageString(e.key->section, e.key->key));
    }
}

bool PageKeys::save() const
{
    bool ok = true;
    for (const Entry& e : m_entries) {
        if (e.getInt)
            ok = IniWriteInt(e.key->section, e.key->key, e.getInt()) && ok;
        else if (e.key->type == SettingType::Password)
            ok = IniWritePassword(e.key->section, e.key->key, e.getText()) && ok;
        else
            ok = IniWriteString(e.key->section, e.key->key, e.getText()) && ok;
    }
    return ok;
}

std::vector<std::string> PageKeys::names() const
{
    std::vector<std::string> out;
    for (const Entry& e : m_entries)
        out.push_back(std::string(e.key->section) + "/" + std::string(e.key->key));
    return out;
}

} // namespace vistrel
