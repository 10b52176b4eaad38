#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace vistrel {

// Runs one blocking action (an FTP session) on a thread of its own and hands its end back to the
// user-interface thread, so that a window stays responsive while a server takes its time.
//
// Abandon() forgets the running action at once: its thread goes on until the action returns by
// itself (at the latest at the session's time-out), and its end is then dropped. The thread owns
// everything the action uses, so nothing it touches goes away under it, and it never calls back
// into an object that is gone.
class BackgroundAction : public QObject {
    Q_OBJECT
  public:
    explicit BackgroundAction(QObject* parent = nullptr);
    ~BackgroundAction() override; // abandons a running action

    // Runs work on a new thread; then, on this object's thread, finished (unless abandoned).
    // False (and nothing runs) while another action is running.
    bool Start(std::function<void()> work, std::function<void()> finished);
    void Abandon();
    bool Running() const { return m_pCurrent != nullptr; }

  private:
    struct Ticket;
    std::shared_ptr<Ticket> m_pCurrent;
};

} // namespace vistrel
