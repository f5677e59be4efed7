// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaObject>

#include <memory>
#include <mutex>
#include <utility>

namespace Tarnwick {

// Carries calls from another thread (the probe engine's, whose callbacks may come at any time)
// to an object on its own thread: each call is queued to the object while it lives, and
// dropped once the object has closed the mailbox. Copies share one mailbox, so that a callback
// keeps its copy; the object closes it first thing in its destructor.
template <class Receiver>
class ThreadMailbox
{
public:
    explicit ThreadMailbox(Receiver* receiver)
        : m_shared(std::make_shared<Shared>())
    {
        m_shared->receiver = receiver;
    }

    void close() const
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->receiver = nullptr;
    }

    // Queues call(receiver) to the receiver's thread, unless the mailbox is closed.
    template <class Call>
    void post(Call call) const
    {
        std::lock_guard lock(m_shared->mutex);
        if (Receiver* receiver = m_shared->receiver)
            QMetaObject::invokeMethod(
                receiver, [receiver, call = std::move(call)]() mutable { call(*receiver); }, Qt::QueuedConnection);
    }

private:
    struct Shared
    {
        std::mutex mutex;
        Receiver* receiver = nullptr;
    };
    std::shared_ptr<Shared> m_shared;
};

} // namespace Tarnwick
