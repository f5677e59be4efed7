// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/AlertOutboxThread.h"

#include "alert/AlertChannel.h"

#include <QCoreApplication>

namespace Tarnwick {

AlertOutboxThread::AlertOutboxThread(const QString& fileName, const MakeChannels& makeChannels,
                                     const QStringList& paused, AlertOutbox::Log log, AlertOutbox::Backoff backoff,
                                     QObject* parent)
    : QObject(parent)
    , m_log(std::move(log))
{
    m_thread.setObjectName(QStringLiteral("Alert outbox"));
    m_thread.start();
    // The file's connection, the channels' sockets and processes belong to the thread that made them.
    QObject maker;
    maker.moveToThread(&m_thread);
    const AlertOutbox::Log relay = [this](const QString& line) {
        QMetaObject::invokeMethod(
            this, [this, line] { m_log(line); }, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(
        &maker,
        [&] {
            m_outbox = new AlertOutbox(fileName, makeChannels(relay), paused, relay, backoff);
            maker.moveToThread(thread());
        },
        Qt::BlockingQueuedConnection);
    tellLog();
}

AlertOutboxThread::~AlertOutboxThread()
{
    // Destroyed on its own thread, writing what waits, after the alerts posted to it: a thread
    // that ends drops the calls still queued for it.
    QMetaObject::invokeMethod(
        m_outbox, [outbox = m_outbox] { delete outbox; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    tellLog();
}

void AlertOutboxThread::post(const Alert& alert)
{
    QMetaObject::invokeMethod(
        m_outbox, [outbox = m_outbox, alert] { outbox->post(alert); }, Qt::QueuedConnection);
}

void AlertOutboxThread::finishSending(std::chrono::milliseconds grace)
{
    QMetaObject::invokeMethod(
        m_outbox, [outbox = m_outbox, grace] { outbox->finishSending(grace); }, Qt::BlockingQueuedConnection);
    tellLog();
}

void AlertOutboxThread::tellLog()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace Tarnwick
