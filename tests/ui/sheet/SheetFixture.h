#pragma once

// The settings sheet over a whole hub on a throwaway settings file: the test pattern (or the
// fake V4L2 camera) as the capture driver, the recording prompter for every message box.

#include "CycleFixture.h"

#include "ui/sheet/CMyPropertySheet.h"
#include "ui/sheet/SettingsPage.h"
#include "ui/sheet/UpDownEdit.h"
#include "widgets/SessionEnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>

#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace vistrel::test {

class SheetFixture : public CycleFixture {
  protected:
    // The autostart entry goes into the test's folder, never the user's.
    ScopedEnv configHome{"XDG_CONFIG_HOME", dir.file("config")};
    std::unique_ptr<CMyPropertySheet> sheet;
    SheetDialogs dialogs; // none of src/ui/dialogs unless a test puts fakes in

    void TearDown() override
    {
        sheet.reset();
        CycleFixture::TearDown();
    }

    // The hub over the given cameras (none: the test pattern alone). beside: the camera calls
    // run beside the window's thread, as in the program (else in place).
    void startHub(std::shared_ptr<V4l2Io> io = NoV4l2Devices(), bool beside = false)
    {
        dialUp = std::make_shared<CDialUpManager>(prompter, rasLibrary, "");
        drivers = std::make_unique<CaptureDriverList>(std::move(io));
        Hub::Dependencies deps;
        deps.clock = [this] { return now; };
        if (beside)
            deps.runBeside = &RunBeside;
        hub = std::make_unique<Hub>(prompter, host, dialUp, *drivers, deps);
        host.Attach(*hub);
        ASSERT_TRUE(hub->Startup(false));
    }

    void openSheet(int page = CMyPropertySheet::DevicePage)
    {
        sheet = std::make_unique<CMyPropertySheet>(*hub, prompter, nullptr, dialogs);
        sheet->show();
        if (page != CMyPropertySheet::DevicePage)
            sheet->setCurrentPage(page);
    }

    template <class T> T* find(const char* name)
    {
        T* w = sheet->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            ADD_FAILURE() << "no control " << name;
        return w;
    }
    void click(const char* name) { find<QAbstractButton>(name)->click(); }
    // Sets the text of an edit, or of the edit of an up-down control.
    void type(const char* name, const QString& text)
    {
        QWidget* w = find<QWidget>(name);
        if (auto* upDown = qobject_cast<CUpDownEdit*>(w))
            upDown->edit()->setText(text);
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setText(text);
        else
            ADD_FAILURE() << name << " is no edit";
    }
    QLineEdit* edit(const char* name) { return find<QLineEdit>(name); }

    // Every "Section/Key" of the settings file with its value, as written.
    std::map<std::string, std::string> fileKeys() const
    {
        std::map<std::string, std::string> keys;
        std::ifstream in(SettingsFilePath());
        std::string line, section;
        while (std::getline(in, line)) {
            if (!line.empty() && line.front() == '[')
                section = line.substr(1, line.find(']') - 1);
            else if (const auto eq = line.find('='); eq != std::string::npos)
                keys[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
        }
        return keys;
    }
    void wipeSettingsFile() { std::remove(SettingsFilePath().c_str()); }
};

} // namespace vistrel::test
