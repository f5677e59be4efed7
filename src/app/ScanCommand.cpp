// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanCommand.h"

#include "CommandLine.h"
#include "net/DiscoverDevicesThread.h"

#include <QCoreApplication>

#include <cstdio>

namespace Tarnwick {

int ScanCommand::run(int argc, char** argv, const CommandLine& command)
{
    QCoreApplication app(argc, argv);
    ScanCommand printer;
    DiscoverDevicesThread scan(command.scanRange, {}, command.timeoutMs);
    QObject::connect(&scan, &DiscoverDevicesThread::addressProbed, &printer, &ScanCommand::scanResult);
    QObject::connect(&scan, &DiscoverDevicesThread::scanCompleted, &printer, &ScanCommand::scanCompleted);
    scan.start();
    QCoreApplication::exec();
    scan.wait();
    return 0;
}

void ScanCommand::scanResult(bool, const QString& address, const QString& result)
{
    std::printf("%s\t%s\n", qPrintable(address), qPrintable(result));
}

void ScanCommand::scanCompleted(int active, int total)
{
    std::printf("%s\n", qPrintable(DiscoverDevicesThread::completionText(active, total)));
    std::fflush(stdout);
    QCoreApplication::quit();
}

} // namespace Tarnwick
