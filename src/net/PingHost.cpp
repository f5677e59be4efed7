// SPDX-License-Identifier: GPL-3.0-or-later
#include "PingHost.h"

#include "NetworkProbe.h"
#include "ProbeWaiter.h"

namespace Tarnwick {

int pingHost(ProbeEngine& engine, const QString& host, int timeoutMs)
{
    ProbeWaiter waiter;
    return waiter.probe(NetworkProbe::overNetwork(engine), host, timeoutMs).value_or(ProbeResult::timeout()).code();
}

} // namespace Tarnwick
