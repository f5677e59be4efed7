// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/AlertOutbox.h"

#include <QObject>
#include <QThread>

#include <functional>

namespace Tarnwick {

// An outbox on a thread of its own, so that writing its file and waiting on its channels never
// holds up the thread that announces changes, however many alerts come at once. Alerts cross
// over queued; the outbox's log lines come back, in their order, to the thread that made this.
class AlertOutboxThread : public QObject
{
    Q_OBJECT

public:
    // Called on the outbox's thread, so that the channels live there, with the log they may
    // write to from there.
    using MakeChannels = std::function<QList<AlertChannel*>(const AlertOutbox::Log& log)>;

    AlertOutboxThread(const QString& fileName, const MakeChannels& makeChannels, const QStringList& paused,
                      AlertOutbox::Log log, AlertOutbox::Backoff backoff, QObject* parent = nullptr);
    ~AlertOutboxThread() override;

    void post(const Alert& alert);
    // AlertOutbox::finishSending, waited for; its log lines are told before this returns.
    void finishSending(std::chrono::milliseconds grace = AlertOutbox::QuitGrace);

private:
    void tellLog();

    const AlertOutbox::Log m_log;
    QThread m_thread;
    AlertOutbox* m_outbox = nullptr;
};

} // namespace Tarnwick
