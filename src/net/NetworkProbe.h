// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceCheck.h"
#include "data/EchoOptions.h"
#include "data/ProbeResult.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace Tarnwick {

class ProbeEngine;

// A probe as the monitor and the scans use it: the device's address text in, the outcome out
// through done, exactly once, perhaps later and on another thread.
using AsyncProbe = std::function<void(const QString& host, int timeoutMs, ProbeCompletion done)>;

// A probe answered at once on the caller's thread. Tests stand in for the network with one.
using ProbeFunction = std::function<ProbeResult(const QString& host, int timeoutMs)>;

class NetworkProbe
{
public:
    // Over the network: the name resolved without blocking by the engine's resolver (a name
    // that cannot be resolved in time is a socket error, as an unusable destination always
    // was), then the engine, as the client's requests. askByArp: hosts on a local link are
    // asked by ARP first, and one that answers that alone is reported present. echo: how the
    // echo requests are made. The engine must outlive the probe.
    static AsyncProbe overNetwork(ProbeEngine& engine, std::uint64_t client = 0, bool askByArp = false,
                                  EchoOptions echo = {});
    // Over the network as the monitor asks a device: an echo made as echo says, asked by ARP
    // first on a local link, a TCP connection to its port, or an ARP question alone (these two
    // ignore echo). Not for an Unreadable check, which asks nothing (refusing).
    static AsyncProbe checking(ProbeEngine& engine, const DeviceCheck& check, EchoOptions echo = {},
                               std::uint64_t client = 0);
    // A stand-in answered at once.
    static AsyncProbe from(ProbeFunction probe);
    // No probe at all: each fails at once with a socket error that says why.
    static AsyncProbe refusing(const QString& why);
    // How long a name may take to resolve for a probe with this time-out.
    static int resolutionBoundMs(int timeoutMs);
};

} // namespace Tarnwick
