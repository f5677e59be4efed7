#pragma once

#include <QList>
#include <QThread>

#include "PingHost.h"

#include <atomic>

namespace Tarnwick {

// Probes every address of a box of IPv4 addresses once: each octet runs on its own from its
// "from" value to its "to" value. Each result reaches the receiver's
// scanResult(bool active, QString address, QString result) and the end of a scan that was
// not stopped its scanCompleted(int active, int total), both queued onto its thread.
class DiscoverDevicesThread : public QThread
{
    Q_OBJECT

public:
    // The receiver must outlive the scan: stop it and wait for it before the receiver goes.
    DiscoverDevicesThread(const QList<quint8>& from, const QList<quint8>& to, QObject* receiver,
                          ProbeFunction probe = {});

    void requestStop();

protected:
    void run() override;

private:
    QList<quint8> m_from;
    QList<quint8> m_to;
    QObject* m_receiver;
    ProbeFunction m_probe;
    std::atomic<bool> m_stopRequested{false};
};

} // namespace Tarnwick
