// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanCommand.h"

#include "CommandLine.h"
#include "net/DiscoverDevicesThread.h"
#include "net/ProbeEngine.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace Tarnwick {

int ScanCommand::run(int argc, char** argv, const CommandLine& command, ProbeEngine& engine)
{
    QCoreApplication app(argc, argv);
    ScanCommand printer;
    if (engine.hasSocket() && !engine.asksByArp())
        std::fprintf(stderr, "Hosts on the local link are asked by echo alone: no packet socket for ARP (%s).\n",
                     std::strerror(engine.arpSocketError()));
    engine.setInterval(1000000000 / command.scanRate);
    DiscoverDevicesThread scan(command.scanRange, engine, command.timeoutMs,
                               command.quickScan ? DiscoverDevicesThread::Wait::Quick
                                                 : DiscoverDevicesThread::Wait::Full);
    QObject::connect(&scan, &DiscoverDevicesThread::addressProbed, &printer, &ScanCommand::scanResult);
    QObject::connect(&scan, &DiscoverDevicesThread::scanCompleted, &printer, &ScanCommand::scanCompleted);
    scan.start();
    QCoreApplication::exec();
    scan.wait();
    return 0;
}

void ScanCommand::scanResult(int, const QString& address, const QString& result)
{
    std::printf("%s\t%s\n", qPrintable(address), qPrintable(result));
}

void ScanCommand::scanCompleted(int active, int total, int present)
{
    std::printf("%s\n", qPrintable(DiscoverDevicesThread::completionText(active, total)));
    if (present > 0)
        std::printf("%s\n", qPrintable(DiscoverDevicesThread::presentText(present)));
    std::fflush(stdout);
    QCoreApplication::quit();
}

} // namespace Tarnwick
