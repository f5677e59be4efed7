// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceCheck.h"
#include "ProbeResult.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Tarnwick {

// What a device's checks, asked together in one round, come to: the one outcome its state,
// the thresholds and the alerts follow.
class CheckRound
{
public:
    // Heard when every check was heard: then the first check's own result, round trip and all.
    // Otherwise not, with the reasons of the checks that failed, each named ("TCP 443:
    // connection refused"), and the kind of the first of them. A device of one check keeps its
    // result as it came. A further check without a result counts as unanswered.
    static ProbeResult outcome(const DeviceCheck& first, const ProbeResult& firstResult, const QList<DeviceCheck>& more,
                               const QList<ProbeResult>& moreResults);
    // One check's result as the list's tooltip and the details name it: "TCP 443: 3 ms",
    // "TCP 443: connection refused", "ARP: not asked yet" (none).
    static QString resultText(const DeviceCheck& check, const ProbeResult* result);
    // Each further check's last result as resultText says it, but for those the round's outcome
    // already names among its failures.
    static QStringList furtherResults(const QList<DeviceCheck>& more, const QList<ProbeResult>& results,
                                      const ProbeResult& outcome);
};

} // namespace Tarnwick
