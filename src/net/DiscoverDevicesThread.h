// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NetworkProbe.h"
#include "ProbeWaiter.h"
#include "ScanRange.h"

#include <QList>
#include <QThread>

#include <optional>

namespace Tarnwick {

class ProbeEngine;

// Probes every address of a box of IPv4 addresses once: each octet runs on its own from its
// "from" value to its "to" value; hosts on a local link are asked by ARP first. Many addresses
// are in flight at once, each given a second at most: a quick scan gives up a silent one sooner
// once answers have shown the round trips (QuickScanWait). Each result is told by addressProbed
// in box order (an answer that comes early waits for the ones before it), and the end of a scan
// that was not stopped by scanCompleted. Both are emitted on the scan's thread: receivers elsewhere get them
// queued.
class DiscoverDevicesThread : public QThread
{
    Q_OBJECT

public:
    static constexpr int TimeoutMs = 1000;
    // What a scan found at an address.
    enum Finding { Silent = 0, Answered = 1, Present = 2 };
    // The most addresses probed and not yet reported at any time, so that memory stays bounded
    // whatever the size of the box.
    static constexpr int MaxInFlight = 2048;

    // How long a silent address is waited for: as QuickScanWait says, or the whole time-out.
    enum class Wait { Quick, Full };

    // Over the network, through engine, which must outlive the scan.
    DiscoverDevicesThread(const ScanRange& range, ProbeEngine& engine, int timeoutMs = TimeoutMs,
                          Wait wait = Wait::Quick);
    // probe: a stand-in for the network (tests).
    DiscoverDevicesThread(const ScanRange& range, ProbeFunction probe, int timeoutMs = TimeoutMs);
    ~DiscoverDevicesThread() override;

    void requestStop();

    // The text the dialog shows for an outcome: "%1 ms", "Timeout", "Socket error",
    // "Present, no echo reply", or the network's reason why no reply came ("Host unreachable,
    // from 10.0.0.1").
    static QString resultText(const ProbeResult& result);
    static Finding findingOf(const ProbeResult& result);
    // The text that ends a scan: "Search completed. Active: a/t (p%)".
    static QString completionText(int active, int total);
    // The same figures of a scan the user stopped: "Search stopped. Active: a/t (p%)".
    static QString stoppedText(int active, int total);
    // The line that counts the hosts present without an echo reply; empty when there are none.
    static QString presentText(int present);
    // Four octets of 0 to 254 from dotted text; empty parts (doubled or trailing dots) are skipped.
    static std::optional<QList<quint8>> parseAddress(const QString& text);

signals:
    // finding: a Finding; result: resultText of the outcome.
    void addressProbed(int finding, const QString& address, const QString& result);
    // present: the hosts that answered ARP but not the echo request.
    void scanCompleted(int active, int total, int present);

protected:
    void run() override;

private:
    // Takes back the scan's requests that have not left yet; nothing for a stand-in.
    void withdrawQueued();

    ScanRange m_range;
    ProbeEngine* m_engine = nullptr; // none for a stand-in
    std::uint64_t m_client = 0; // the engine's
    AsyncProbe m_probe;
    int m_timeoutMs;
    // Outcomes by position in the box, filled from the network's threads.
    ProbeWaiter m_waiter;
};

} // namespace Tarnwick
