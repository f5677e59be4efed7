#include "DiscoverDevicesThread.h"

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

void DiscoverDevicesThread::run()
{
    if (m_stopRequested)
        return;
    int active = 0;
    int total = 0;
    int sequence = 1;
    for (int a = m_from[0]; a <= m_to[0]; ++a) {
        if (m_stopRequested)
            return;
        for (int b = m_from[1]; b <= m_to[1]; ++b) {
            if (m_stopRequested)
                return;
            for (int c = m_from[2]; c <= m_to[2]; ++c) {
                if (m_stopRequested)
                    return;
                for (int d = m_from[3]; d <= m_to[3]; ++d) {
                    if (m_stopRequested)
                        return;
                    const QString address = QStringLiteral("%1.%2.%3.%4").arg(a).arg(b).arg(c).arg(d);
                    const int result = m_probe(address, 1000, 0, sequence);
                    const bool answered = result >= 0;
                    QString text;
                    if (answered)
                        text = QStringLiteral("%1 ms").arg(result);
                    else if (result == PingNoReply)
                        text = QStringLiteral("Timeout");
                    else
                        text = QStringLiteral("Socket error");
                    if (answered)
                        ++active;
                    QMetaObject::invokeMethod(m_receiver, "scanResult", Qt::QueuedConnection, Q_ARG(bool, answered),
                                              Q_ARG(QString, address), Q_ARG(QString, text));
                    ++total;
                    ++sequence;
                }
            }
        }
    }
    if (m_stopRequested)
        return;
    QMetaObject::invokeMethod(m_receiver, "scanCompleted", Qt::QueuedConnection, Q_ARG(int, active),
                              Q_ARG(int, total));
}

} // namespace Tarnwick
