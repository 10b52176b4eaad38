#include "ui/dialogs/BackgroundAction.h"

#include "widgets/SessionEnd.h"

#include <QMetaObject>

#include <mutex>
#include <thread>

namespace vistrel {

// Shared by the thread and the owner. The owner clears receiver (under the lock) when it abandons
// the action or goes away; the thread only posts its end while receiver is set, under the same
// lock, so it never posts to a destroyed object.
struct BackgroundAction::Ticket {
    std::mutex mutex;
    BackgroundAction* receiver = nullptr;
};

BackgroundAction::BackgroundAction(QObject* parent) : QObject(parent)
{
}

BackgroundAction::~BackgroundAction()
{
    Abandon();
}

bool BackgroundAction::Start(std::function<void()> work, std::function<void()> finished)
{
    if (m_pCurrent)
        return false;
    auto ticket = std::make_shared<Ticket>();
    ticket->receiver = this;
    m_pCurrent = ticket;
    auto guard = std::make_shared<ThreadWorkGuard>();
    std::thread([ticket, guard, work = std::move(work), finished = std::move(finished)]() mutable {
        work();
        std::lock_guard lock(ticket->mutex);
        if (!ticket->receiver)
            return;
        QMetaObject::invokeMethod(
            ticket->receiver,
            [ticket, finished = std::move(finished)] {
                BackgroundAction* self = ticket->receiver;
                // Abandoned after the end was posted: drop it.
                if (!self || self->m_pCurrent != ticket)
                    return;
                self->m_pCurrent.reset();
                finished();
            },
            Qt::QueuedConnection);
    }).detach();
    return true;
}

void BackgroundAction::Abandon()
{
    if (!m_pCurrent)
        return;
    std::lock_guard lock(m_pCurrent->mutex);
    m_pCurrent->receiver = nullptr;
    m_pCurrent.reset();
}

} // namespace vistrel
