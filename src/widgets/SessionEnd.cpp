#include "widgets/SessionEnd.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <thread>

namespace vistrel {

namespace {

bool g_sessionEnding = false;
int g_besideWork = 0;
std::atomic<int> g_threadWork{0};

} // namespace

void BeginSessionEnd()
{
    g_sessionEnding = true;
    CloseModalWindows();
}

bool SessionEnding()
{
    return g_sessionEnding;
}

void ResetSessionEndForTesting()
{
    g_sessionEnding = false;
}

void CloseModalWindows()
{
    // Each close takes one window off the stack of modal windows; the bound keeps a window that
    // refuses to close from holding the loop.
    for (int i = 0; i < 32; ++i) {
        QWidget* top = QApplication::activeModalWidget();
        if (!top)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(top))
            dialog->reject();
        else
            top->close();
        if (QApplication::activeModalWidget() == top)
            top->hide();
    }
}

void RunBeside(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        work();
        return;
    }
    ++g_besideWork;
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    bool cursor = false;
    QTimer slow;
    slow.setSingleShot(true);
    QObject::connect(&slow, &QTimer::timeout, [&] {
        if (qobject_cast<QApplication*>(app)) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            cursor = true;
        }
    });
    slow.start(200);
    // The quit is queued: one that comes before the loop runs ends it at its first turn.
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (cursor)
        QApplication::restoreOverrideCursor();
    --g_besideWork;
}

int BesideWorkRunning()
{
    return g_besideWork;
}

ThreadWorkGuard::ThreadWorkGuard()
{
    ++g_threadWork;
}

ThreadWorkGuard::~ThreadWorkGuard()
{
    --g_threadWork;
}

int ThreadWorkRunning()
{
    return g_threadWork;
}

bool WaitForThreadWork(int timeoutMs)
{
    for (int waited = 0; g_threadWork > 0 && waited < timeoutMs; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return g_threadWork == 0;
}

} // namespace vistrel
