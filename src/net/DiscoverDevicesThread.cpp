#include "DiscoverDevicesThread.h"

#include <algorithm>

namespace Tarnwick {

DiscoverDevicesThread::DiscoverDevicesThread(const QList<quint8>& from, const QList<quint8>& to, QObject* receiver,
                                             ProbeFunction probe)
    : m_from(from)
    , m_to(to)
    , m_receiver(receiver)
    , m_probe(probe ? std::move(probe) : ProbeFunction(&pingHost))
{
}

void DiscoverDevicesThread::requestStop()
{
    m_stopRequested = true;
}

namespace {

QString resultText(int result)
{
    if (result >= 0)
        return QStringLiteral("%1 ms").arg(result);
    return result == PingNoReply ? QStringLiteral("Timeout") : QStringLiteral("Socket error");
}

} // namespace

void DiscoverDevicesThread::run()
{
    // Every octet runs on its own from its "from" to its "to" value, the last one fastest;
    // a box with any octet range empty holds no address.
    qint64 boxSize = 1;
    int span[4];
    for (int i = 0; i < 4; ++i) {
        span[i] = std::max(0, int(m_to[i]) - int(m_from[i]) + 1);
        boxSize *= span[i];
    }

    int active = 0;
    int total = 0;
    for (qint64 n = 0; n < boxSize; ++n) {
        if (m_stopRequested)
            return;
        int octet[4];
        qint64 rest = n;
        for (int i = 3; i >= 0; --i) {
            octet[i] = m_from[i] + int(rest % span[i]);
            rest /= span[i];
        }
        const QString address = QStringLiteral("%1.%2.%3.%4").arg(octet[0]).arg(octet[1]).arg(octet[2]).arg(octet[3]);
        // The sequence counts the scan's probes from 1.
        const int result = m_probe(address, 1000, 0, total + 1);
        if (result >= 0)
            ++active;
        QMetaObject::invokeMethod(m_receiver, "scanResult", Qt::QueuedConnection, Q_ARG(bool, result >= 0),
                                  Q_ARG(QString, address), Q_ARG(QString, resultText(result)));
        ++total;
    }
    if (m_stopRequested)
        return;
    QMetaObject::invokeMethod(m_receiver, "scanCompleted", Qt::QueuedConnection, Q_ARG(int, active), Q_ARG(int, total));
}

} // namespace Tarnwick
