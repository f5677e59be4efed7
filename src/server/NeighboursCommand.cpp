// SPDX-License-Identifier: GPL-3.0-or-later
#include "NeighboursCommand.h"

#include "Privileges.h"
#include "net/NeighbourFinder.h"
#include "net/OuiRegistry.h"
#include "net/ReverseNameLookup.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHash>
#include <QTimer>

#include <cstdio>

namespace Tarnwick {

namespace {

// The names the system gives the hosts' addresses, those it found within the wait: a name
// server that never answers costs the wait and no more.
QHash<QString, QString> namesOf(const QList<NeighbourFinder::Neighbour>& neighbours)
{
    QHash<QString, QString> names;
    if (neighbours.isEmpty())
        return names;
    ReverseNameLookup lookup;
    QEventLoop loop;
    qsizetype answers = 0;
    const auto answered = [&] {
        if (++answers == neighbours.size())
            loop.quit();
    };
    QObject::connect(&lookup, &ReverseNameLookup::nameFound, &loop, [&](const QString& address, const QString& name) {
        names.insert(address, name);
        answered();
    });
    QObject::connect(&lookup, &ReverseNameLookup::noNameFound, &loop, answered);
    for (const NeighbourFinder::Neighbour& neighbour : neighbours)
        lookup.lookUp(neighbour.address);
    QTimer::singleShot(NeighboursCommand::NamesWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return names;
}

} // namespace

int NeighboursCommand::run(int argc, char** argv)
{
    if (Privileges::startedRaised())
        Privileges::forgetCodeLoadingEnvironment();
    const NeighbourFinder finder(OuiRegistry::shared());
    Privileges::dropCapabilities();
    QCoreApplication app(argc, argv);
    const NeighbourFinder::Outcome outcome = finder.find(NeighbourFinder::ListenMs);
    if (!outcome.error.isEmpty()) {
        std::fprintf(stderr, "tarnwick: %s\n", qPrintable(outcome.error));
        return 1;
    }
    const QHash<QString, QString> names = namesOf(outcome.neighbours);
    for (const NeighbourFinder::Neighbour& neighbour : outcome.neighbours)
        std::printf("%s\t%s\t%s\t%s\n", qPrintable(neighbour.address),
                    qPrintable(neighbour.hardwareAddress.isEmpty() ? QStringLiteral("-") : neighbour.hardwareAddress),
                    qPrintable(neighbour.vendor), qPrintable(names.value(neighbour.address)));
    std::printf("%s\n", qPrintable(NeighbourFinder::summary(outcome)));
    return 0;
}

} // namespace Tarnwick
