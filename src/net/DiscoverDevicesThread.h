// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NetworkProbe.h"
#include "ProbeWaiter.h"
#include "ScanRange.h"

#include <QList>
#include <QThread>

#include <optional>

namespace Tarnwick {

// Probes every address of a box of IPv4 addresses once: each octet runs on its own from its
// "from" value to its "to" value. Many addresses are in flight at once, each given a second;
// each result is told by addressProbed in box order (an answer that comes early waits for the
// ones before it), and the end of a scan that was not stopped by scanCompleted. Both are
// emitted on the scan's thread: receivers elsewhere get them queued.
class DiscoverDevicesThread : public QThread
{
    Q_OBJECT

public:
    static constexpr int TimeoutMs = 1000;
    // The most addresses probed and not yet reported at any time, so that memory stays bounded
    // whatever the size of the box.
    static constexpr int MaxInFlight = 2048;

    // probe: a stand-in for the network (tests); none probes over the network.
    explicit DiscoverDevicesThread(const ScanRange& range, ProbeFunction probe = {}, int timeoutMs = TimeoutMs);
    // The box from FROM to TO, each octet on its own.
    DiscoverDevicesThread(const QList<quint8>& from, const QList<quint8>& to, ProbeFunction probe = {},
                          int timeoutMs = TimeoutMs);

    void requestStop();

    // The text the dialog shows for an outcome: "%1 ms", "Timeout" or "Socket error".
    static QString resultText(const ProbeResult& result);
    // The text that ends a scan: "Search completed. Active: a/t (p%)".
    static QString completionText(int active, int total);
    // Four octets of 0 to 254 from dotted text; empty parts (doubled or trailing dots) are skipped.
    static std::optional<QList<quint8>> parseAddress(const QString& text);

signals:
    // result: resultText of the outcome.
    void addressProbed(bool active, const QString& address, const QString& result);
    void scanCompleted(int active, int total);

protected:
    void run() override;

private:
    ScanRange m_range;
    std::uint64_t m_client; // the engine's, when probing over the network
    AsyncProbe m_probe;
    int m_timeoutMs;
    // Outcomes by position in the box, filled from the network's threads.
    ProbeWaiter m_waiter;
};

} // namespace Tarnwick
