#pragma once

#include "app/Hub.h"
#include "ui/sheet/PageKeys.h"

#include <QString>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vistrel {

class Prompter;

// A page's refusal to be applied: the message to show and the control to put the focus on.
struct PageRefusal {
    QWidget* control = nullptr;
    QString message;
};

// One page of the settings sheet. Its controls exist from construction, but it reads the
// settings file only when its tab is first shown (open()); the sheet applies only pages that
// were opened. A change the user makes on the page emits modified(), which enables Apply.
class CSettingsPage : public QWidget {
    Q_OBJECT
  public:
    CSettingsPage(Hub& hub, Prompter& prompter, QWidget* parent = nullptr);

    virtual QString title() const = 0;
    virtual int helpContext() const = 0;
    // The keys the hub re-reads after the page stored its own.
    virtual ReloadGroup reloadGroup() const = 0;

    bool isOpen() const { return m_bOpen; }
    // Reads the settings file into the page (once).
    void open();
    // Checks what the user entered; a refusal keeps the sheet open on this page.
    virtual std::optional<PageRefusal> validate() { return std::nullopt; }
    // Stores the page's keys and has the hub re-read its reload group. False when the settings file
    // could not be written.
    virtual bool apply();
    // The sheet was closed with Cancel: undo what the page changed outside the settings file.
    virtual void cancel() {}

    const PageKeys& keys() const { return m_keys; }

  signals:
    void modified();

  protected:
    virtual void loadSettings() { m_keys.load(); }
    virtual bool saveSettings() { return m_keys.save(); }
    // After loading: the enabling rules and whatever else the page does as it opens.
    virtual void opened() {}

    // Marks the sheet modified, except while the page is filling its controls.
    void markModified();
    // Makes every user change of these controls mark the sheet modified.
    void watch(std::initializer_list<QWidget*> controls);

    // The page's controls, named (tests and the screenshots find them by name); parent is the
    // page unless given.
    QCheckBox* MakeCheck(const char* name, const char* text, QWidget* parent = nullptr);
    QPushButton* MakeButton(const char* name, const char* text, QWidget* parent = nullptr);
    QLineEdit* MakeEdit(const char* name, QWidget* parent = nullptr);

    Hub& m_hub;
    Prompter& m_prompter;
    PageKeys m_keys;

  private:
    bool m_bOpen = false;
    bool m_bLoading = false;
};

} // namespace vistrel
