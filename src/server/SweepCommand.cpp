// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepCommand.h"

#include "CommandLine.h"
#include "net/NetworkSweep.h"
#include "net/OuiRegistry.h"
#include "net/ProbeEngine.h"

#include <QCoreApplication>
#include <QSet>

#include <cstdio>

namespace Tarnwick {

int SweepCommand::run(int argc, char** argv, const CommandLine& command, ProbeEngine& engine,
                      const NeighbourFinder* neighbours)
{
    QCoreApplication app(argc, argv);
    NetworkSweep sweep(engine, neighbours);
    NetworkRound result;
    QObject::connect(&sweep, &NetworkSweep::roundFinished, &app, [&result](const NetworkRound& round) {
        result = round;
        QCoreApplication::quit();
    });
    sweep.start(command.sweepNetworks);
    QCoreApplication::exec();
    for (const NetworkSighting& sighting : result.seen)
        std::printf("%s\t%s\t%s\n", qPrintable(sighting.address),
                    qPrintable(sighting.hardwareAddress.isEmpty() ? QStringLiteral("-") : sighting.hardwareAddress),
                    qPrintable(OuiRegistry::shared().vendor(sighting.hardwareAddress)));
    for (const QString& line : result.skipped)
        std::fprintf(stderr, "%s\n", qPrintable(line));
    // Nothing could be asked at all: every network was refused for its link, as bad input is.
    if (result.networks.isEmpty() && result.seen.isEmpty())
        return 2;
    std::printf("%s\n", qPrintable(summary(result)));
    return result.seen.isEmpty() ? 1 : 0;
}

QString SweepCommand::summary(const NetworkRound& round)
{
    const double seconds = double(round.elapsedMs) / 1000;
    // A device is a piece of hardware, heard at one address or several (IPv4 and IPv6).
    QSet<QString> hardware;
    for (const NetworkSighting& sighting : round.seen)
        hardware.insert(sighting.hardwareAddress);
    return QStringLiteral("Swept %1: %2 in %3 s, %4 requests (%5/s)")
        .arg(round.networks.isEmpty() ? QStringLiteral("no IPv4 network") : round.networks.join(QStringLiteral(", ")))
        .arg(hardware.size() == 1 ? QStringLiteral("1 device") : QStringLiteral("%1 devices").arg(hardware.size()))
        .arg(seconds, 0, 'f', 1)
        .arg(round.requestsSent)
        .arg(seconds > 0 ? qRound(round.requestsSent / seconds) : 0);
}

} // namespace Tarnwick
