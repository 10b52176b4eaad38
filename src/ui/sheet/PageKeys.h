#pragma once

#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSlider;

namespace vistrel {

class CUpDownEdit;
struct SettingKey;

// A settings text (UTF-8) as Qt shows it.
inline QString FromStd(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The keys one settings page edits, each named once by its row of the key table (which gives its
// place in the settings file, its type and the value the page shows when it is missing) with the
// control or member that holds it while the page is open. load() fills the page from the settings
// file, save() writes every key back (passwords scrambled).
class PageKeys {
  public:
    using IntGetter = std::function<int()>;
    using IntSetter = std::function<void(int)>;
    using TextGetter = std::function<std::string()>;
    using TextSetter = std::function<void(const std::string&)>;

    // A check box: 1 checked, 0 unchecked.
    void add(const SettingKey& key, QCheckBox* box);
    // A text or password edit.
    void add(const SettingKey& key, QLineEdit* edit);
    // A drop-down list storing its selected index (-1 when nothing is selected).
    void add(const SettingKey& key, QComboBox* list);
    // A numeric edit; the page has checked its text before save() runs.
    void add(const SettingKey& key, CUpDownEdit* edit);
    void add(const SettingKey& key, QSlider* slider);
    // A value the page carries without a control of its own.
    void add(const SettingKey& key, int* value);
    void add(const SettingKey& key, std::string* value);
    // Anything else, through its own getter and setter.
    void add(const SettingKey& key, IntGetter get, IntSetter set);
    void add(const SettingKey& key, TextGetter get, TextSetter set);

    void load() const;
    // False when a write failed (every key is still attempted).
    bool save() const;

    // "Section/Key" of every key, in the order save() writes them.
    std::vector<std::string> names() const;

  private:
    struct Entry {
        const SettingKey* key;
        IntGetter getInt;
        IntSetter setInt;
        TextGetter getText;
        TextSetter setText;
    };
    std::vector<Entry> m_entries;
};

} // namespace vistrel
