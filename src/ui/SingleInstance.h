#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace vistrel {

// One running program per settings file: a lock file beside it ("<file>.lock") holds the
// process id of the program that uses it. A lock left by a process that has gone is taken over.
class SingleInstance {
  public:
    explicit SingleInstance(const QString& settingsPath);

    // Takes the lock; false when another running program holds it.
    bool Acquire();
    // The process id of the program holding the lock, or 0 when none can be told.
    qint64 HolderPid() const;
    // Asks the holder to show its window (SIGUSR1); false when there is nobody to ask.
    bool AskHolderToShowItself() const;

    static QString LockPathFor(const QString& settingsPath);

  private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace vistrel
