#include "ui/SingleInstance.h"

#include <QCoreApplication>

#include <csignal>
#include <unistd.h>

namespace vistrel {

QString SingleInstance::LockPathFor(const QString& settingsPath)
{
    return settingsPath + QStringLiteral(".lock");
}

SingleInstance::SingleInstance(const QString& settingsPath)
    : m_lock(std::make_unique<QLockFile>(LockPathFor(settingsPath)))
{
    m_lock->setStaleLockTime(0); // a lock counts as stale only when its process has gone
}

bool SingleInstance::Acquire()
{
    if (m_lock->tryLock(0))
        return true;
    // A folder that cannot hold the lock must not keep the program from running.
    return m_lock->error() != QLockFile::LockFailedError;
}

qint64 SingleInstance::HolderPid() const
{
    qint64 pid = 0;
    QString host, app;
    if (!m_lock->getLockInfo(&pid, &host, &app))
        return 0;
    return pid;
}

bool SingleInstance::AskHolderToShowItself() const
{
    qint64 pid = 0;
    QString host, app;
    if (!m_lock->getLockInfo(&pid, &host, &app) || pid <= 0 || pid == ::getpid())
        return false;
    // Only a program of ours is sent the request (the signal would end any other).
    if (app != QCoreApplication::applicationName())
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGUSR1) == 0;
}

} // namespace vistrel
