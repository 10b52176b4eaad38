#pragma once

// A whole hub on a throwaway settings file, with the built-in test pattern as its camera (no real
// device is ever looked at), for tests that run complete cycles.

#include "RecordingPrompter.h"
#include "TestSupport.h"
#include "app/Hub.h"
#include "capture/CaptureDrivers.h"
#include "capture/V4l2Io.h"
#include "config/SettingsFile.h"
#include "config/SettingsMigration.h"
#include "dialup/CDialUpManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vistrel::test {

// Records what the hub shows ("status …", "tip …", "icon …", "running 0/1", "done <r> …") and
// stands in for the help window and the settings sheet of the version check.
class HubRecorder : public SettingsMigrationHost {
  public:
    void Attach(Hub& hub)
    {
        QObject::connect(&hub, &Hub::statusChanged, &hub,
                         [this](const QString& t) { add("status " + t.toStdString()); });
        QObject::connect(&hub, &Hub::trayTipChanged, &hub,
                         [this](const QString& t) { add("tip " + t.toStdString()); });
        QObject::connect(&hub, &Hub::trayIconChanged, &hub,
                         [this](int icon) { add("icon " + std::to_string(icon)); });
        QObject::connect(&hub, &Hub::cycleRunningChanged, &hub,
                         [this](bool running) { add(running ? "running 1" : "running 0"); });
        QObject::connect(&hub, &Hub::cycleDone, &hub, [this](int result, const QString& t) {
            add("done " + std::to_string(result) + " " + t.toStdString());
        });
    }

    void OpenHelpTopic(int context) override { add("help " + std::to_string(context)); }
    // The settings sheet: runs sheet (a stand-in that writes keys and applies pages) when set.
    bool RunSettingsSheet() override
    {
        add("sheet");
        return sheet ? sheet() : false;
    }
    void Redraw() override {}

    std::function<bool()> sheet;

    std::vector<std::string> lines()
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }
    bool has(const std::string& line)
    {
        for (const auto& l : lines())
            if (l == line)
                return true;
        return false;
    }

  private:
    void add(const std::string& s)
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(s);
    }
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

class CycleFixture : public ::testing::Test {
  protected:
    TempDir dir;
    ScopedEnv tmpdir{"TMPDIR", dir.path()}; // the private temporary folder goes in there too
    std::string program;                    // the program folder, with its '/'
    RecordingPrompter prompter;
    HubRecorder host;
    std::shared_ptr<CDialUpManager> dialUp;
    std::unique_ptr<CaptureDriverList> drivers;
    std::unique_ptr<Hub> hub;
    std::string rasLibrary = "/nonexistent/librasapi32.so";
    std::time_t now = 1'796'000'000;         // the error log's clock
    std::int64_t monotonicMs = 5'000'000;    // the capture timer's clock, moved on by hand
    std::function<QDateTime()> composeClock; // the composer's clock for the stamp, when set

    void SetUp() override
    {
        program = dir.file("program") + "/";
        std::filesystem::create_directories(program);
        SetSettingsFilePathForTesting(dir.file("test.ini"));
        IniWriteInt("License", "INIVersion", 1005);
        IniWriteString("Install", "Directory", dir.file("program"));
        IniWriteString("UploadOptions", "SaveAsFilename", dir.file("vistrel.jpg"));
        IniWriteInt("ConnectOptions", "UseLAN", 1);
        IniWriteInt("ImageOptions", "Quality", 90);
    }
    void TearDown() override
    {
        if (hub)
            hub->Shutdown();
        hub.reset();
        SetSettingsFilePathForTesting("");
    }

    void set(const char* section, const char* key, int value) { IniWriteInt(section, key, value); }
    void set(const char* section, const char* key, const std::string& value)
    {
        IniWriteString(section, key, value);
    }
    void useServer(int port, const std::string& user = "cam",
                   const std::string& password = "secret")
    {
        set("UploadOptions", "FTPUpload", 1);
        set("UploadOptions", "FTPServer", std::string("127.0.0.1"));
        set("UploadOptions", "FTPPort", port);
        set("UploadOptions", "FTPUsername", user);
        IniWritePassword("UploadOptions", "FTPPassword", password);
        set("UploadOptions", "FTPTimeOut", 5);
    }

    void start(bool schedule = false)
    {
        dialUp = std::make_shared<CDialUpManager>(prompter, rasLibrary, "");
        drivers = std::make_unique<CaptureDriverList>(NoV4l2Devices());
        Hub::Dependencies deps;
        deps.clock = [this] { return now; };
        deps.monotonicMs = [this] { return monotonicMs; };
        if (composeClock)
            deps.composeEnvironment.now = composeClock;
        hub = std::make_unique<Hub>(prompter, host, dialUp, *drivers, deps);
        host.Attach(*hub);
        ASSERT_TRUE(hub->Startup(schedule));
    }

    // Runs the event loop until the next cycle ends (or timeoutMs); returns its result, -1 on
    // time-out.
    int waitCycle(int timeoutMs = 20000)
    {
        int result = -1;
        auto c = QObject::connect(hub.get(), &Hub::cycleDone, [&](int r, const QString&) {
            if (result == -1)
                result = r;
        });
        waitUntil([&] { return result != -1; }, timeoutMs);
        QObject::disconnect(c);
        return result;
    }
    // A cycle started by hand (or by the timer's handler when automatic).
    int cycle(bool automatic = false)
    {
        if (automatic)
            hub->OnTimer();
        else if (!hub->OnCaptureCommand())
            return -2;
        return waitCycle();
    }
    // Lets queued calls run for a while.
    static void pump(int ms) { runEventLoop(ms); }
};

} // namespace vistrel::test
