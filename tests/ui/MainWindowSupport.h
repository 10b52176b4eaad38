#pragma once

// The main window on a throwaway settings file, with the test pattern (or an in-memory camera)
// and recorded message boxes, on the offscreen platform.

#include "RecordingPrompter.h"
#include "TestSupport.h"
#include "capture/CaptureDrivers.h"
#include "ui/MainDialog.h"

#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace vistrel::test {

class MainWindowTest : public ::testing::Test {
  protected:
    TempDir dir;
    ScopedEnv tmpdir{"TMPDIR", dir.path()};
    std::string program; // the program folder, with its '/'
    RecordingPrompter prompter;
    bool trayAvailable = true;
    std::function<bool(QWidget*)> sheet;
    std::function<void(CMainDialog::Options&)> customise; // changes the options before start()
    std::shared_ptr<V4l2Io> cameras = NoV4l2Devices();
    std::shared_ptr<CDialUpManager> dialUp;
    std::unique_ptr<CaptureDriverList> drivers;
    std::unique_ptr<CMainDialog> window;

    void SetUp() override;
    void TearDown() override;

    void set(const char* section, const char* key, int value);
    void set(const char* section, const char* key, const std::string& value);
    // FTP upload to 127.0.0.1:port as cam/secret, passive, 5 s time-out.
    void useServer(int port);

    // Builds, initialises and shows the window, then waits until its start-up is done.
    void start();
    // Shuts the window down (answering Yes if asked) and destroys it.
    void stop();

    // Runs the event loop until the next cycle ends; its result, -1 on time-out.
    int waitCycle(int timeoutMs = 20000);
    // Runs the event loop until done() or timeoutMs; returns done().
    static bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000);
    static void pump(int ms);

    QString status() const;
    QString driverText() const;
};

// Milliseconds since t0.
long long msSince(std::chrono::steady_clock::time_point t0);

} // namespace vistrel::test
