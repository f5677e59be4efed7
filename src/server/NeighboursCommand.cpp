// SPDX-License-Identifier: GPL-3.0-or-later
#include "NeighboursCommand.h"

#include "Privileges.h"
#include "net/NeighbourFinder.h"
#include "net/OuiRegistry.h"

#include <cstdio>

namespace Tarnwick {

int NeighboursCommand::run()
{
    if (Privileges::startedRaised())
        Privileges::forgetCodeLoadingEnvironment();
    const NeighbourFinder finder(OuiRegistry::shared());
    Privileges::dropCapabilities();
    const NeighbourFinder::Outcome outcome = finder.find(NeighbourFinder::ListenMs);
    if (!outcome.error.isEmpty()) {
        std::fprintf(stderr, "tarnwick: %s\n", qPrintable(outcome.error));
        return 1;
    }
    for (const NeighbourFinder::Neighbour& neighbour : outcome.neighbours)
        std::printf("%s\t%s\t%s\n", qPrintable(neighbour.address),
                    qPrintable(neighbour.hardwareAddress.isEmpty() ? QStringLiteral("-") : neighbour.hardwareAddress),
                    qPrintable(neighbour.vendor));
    std::printf("%s\n", qPrintable(NeighbourFinder::summary(outcome)));
    return 0;
}

} // namespace Tarnwick
