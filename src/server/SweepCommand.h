// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Tarnwick {

struct CommandLine;
struct NetworkRound;
class NeighbourFinder;
class ProbeEngine;

// "tarnwick --sweep [NETWORKS]": one round of the network watch without a display and without
// any file of the working folder: one line per host heard ("address<TAB>hardware address<TAB>
// vendor"), what could not be swept on standard error, then the summary line.
class SweepCommand
{
public:
    // neighbours: null when the networks watch no IPv6. The exit status: 0 when a host answered,
    // 1 when none did.
    static int run(int argc, char** argv, const CommandLine& command, ProbeEngine& engine,
                   const NeighbourFinder* neighbours);
    // "Swept 10.0.0.0/22: 5 devices in 2.1 s, 1022 requests (487/s)".
    static QString summary(const NetworkRound& round);
};

} // namespace Tarnwick
