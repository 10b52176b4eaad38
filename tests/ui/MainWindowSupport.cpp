#include "MainWindowSupport.h"

#include "config/SettingsFile.h"
#include "dialup/CDialUpManager.h"
#include "ui/WindowUtils.h"
#include "widgets/SessionEnd.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <filesystem>

namespace vistrel::test {

void MainWindowTest::SetUp()
{
    QApplication::setQuitOnLastWindowClosed(false);
    InitUiResources();
    program = dir.file("program") + "/";
    std::filesystem::create_directories(program);
    SetSettingsFilePathForTesting(dir.file("test.ini"));
    set("License", "INIVersion", 1005);
    set("Install", "Directory", dir.file("program"));
    set("UploadOptions", "SaveAsFilename", dir.file("vistrel.jpg"));
    set("ConnectOptions", "UseLAN", 1);
}

void MainWindowTest::TearDown()
{
    stop();
    ResetSessionEndForTesting();
    SetSettingsFilePathForTesting("");
}

void MainWindowTest::set(const char* section, const char* key, int value)
{
    IniWriteInt(section, key, value);
}

void MainWindowTest::set(const char* section, const char* key, const std::string& value)
{
    IniWriteString(section, key, value);
}

void MainWindowTest::useServer(int port)
{
    set("UploadOptions", "FTPUpload", 1);
    set("UploadOptions", "FTPServer", std::string("127.0.0.1"));
    set("UploadOptions", "FTPPort", port);
    set("UploadOptions", "FTPUsername", std::string("cam"));
    IniWritePassword("UploadOptions", "FTPPassword", "secret");
    set("UploadOptions", "FTPTimeOut", 5);
    set("UploadOptions", "PassiveMode", 1);
}

void MainWindowTest::start()
{
    dialUp = std::make_shared<CDialUpManager>(prompter, "/nonexistent/librasapi32.so", "");
    drivers = std::make_unique<CaptureDriverList>(cameras);
    CMainDialog::Options options{
        &prompter, dialUp, drivers.get(), {}, [this] { return trayAvailable; }, sheet};
    options.hub.runBeside = &RunBeside; // as the program runs camera waits
    if (customise)
        customise(options);
    window = std::make_unique<CMainDialog>(std::move(options));
    window->OnInitDialog();
    window->show();
    ASSERT_TRUE(waitFor([this] { return window->IsRunning(); }));
}

void MainWindowTest::stop()
{
    if (!window)
        return;
    prompter.setNextAnswer(true);
    window->OnCancel();
    window.reset();
}

int MainWindowTest::waitCycle(int timeoutMs)
{
    int result = -1;
    QEventLoop loop;
    auto c = QObject::connect(&window->hub(), &Hub::cycleDone, &loop, [&](int r, const QString&) {
        result = r;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(c);
    return result;
}

bool MainWindowTest::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    const auto t0 = std::chrono::steady_clock::now();
    while (!done() && msSince(t0) <= timeoutMs)
        pump(10);
    return done();
}

void MainWindowTest::pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString MainWindowTest::status() const
{
    return window->statusField()->text();
}

QString MainWindowTest::driverText() const
{
    return window->driverField()->text();
}

long long msSince(std::chrono::steady_clock::time_point t0)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - t0).count();
}

} // namespace vistrel::test
