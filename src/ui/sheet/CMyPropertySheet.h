#pragma once

#include "ui/sheet/SheetDialogs.h"

#include <QDialog>

#include <memory>
#include <vector>

class QPushButton;
class QTabWidget;

namespace vistrel {

class CSettingsPage;
class Hub;
class Prompter;

// "Vistrel Settings": every setting of the program on six pages (Device, Image, Capture,
// Location, Connection, General), run modally by the main window. A page reads the settings file
// when its tab is first shown. OK and Apply check every page shown since the sheet opened, then
// store them one after another, each page asking the hub to re-read its reload group, so the
// running program follows at once; a page never shown stores nothing. Cancel (or Escape) stores
// nothing and lets the Device page put the camera's format back. exec() returns Accepted after OK.
//
// The main window writes License/INIVersion after OK, and makes the sheet a window of its own
// while it is hidden in the tray (PrepareDialogOfMainWindow); the sheet does neither.
class CMyPropertySheet : public QDialog {
    Q_OBJECT
  public:
    enum Page { DevicePage, ImagePage, CapturePage, LocationPage, ConnectionPage, GeneralPage };

    // prompter shows the sheet's messages (validation, warnings). dialogs are the proxy,
    // directory, banner, date/time and logo dialogs the pages open.
    CMyPropertySheet(Hub& hub, Prompter& prompter, QWidget* parent = nullptr,
                     SheetDialogs dialogs = SheetDialogs::Installed());
    ~CMyPropertySheet() override;

    CSettingsPage* page(int index) const;
    int currentPage() const;
    void setCurrentPage(int index);
    QPushButton* applyButton() const { return m_pApply; }
    // The first start's sheet: OK and Apply store every page as it would show, opened or not, so
    // the first picture has the values the pages show (and the headless publisher writes).
    void setStoreEveryPage(bool on) { m_bEveryPage = on; }

    // The Apply button's work: checks the shown pages, then stores them. False when a page
    // refused (the sheet then shows that page with the control focused) or the settings file
    // could not be written.
    bool apply();

    void accept() override; // OK
    void reject() override; // Cancel, Escape, the close box

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void OnPageShown(int index);
    void OnHelp();

    // The prompter the sheet and its pages use: each box hands the focus back when it closes.
    class FocusReturningPrompter;

    Hub& m_hub;
    std::unique_ptr<FocusReturningPrompter> m_ownPrompter;
    Prompter& m_prompter;
    SheetDialogs m_dialogs;
    std::vector<CSettingsPage*> m_pages;
    QTabWidget* m_pTabs;
    QPushButton* m_pApply;
    bool m_bEveryPage = false;
};

} // namespace vistrel
