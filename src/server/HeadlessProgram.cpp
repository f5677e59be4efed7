// SPDX-License-Identifier: GPL-3.0-or-later
#include "HeadlessProgram.h"

#include "CommandLine.h"
#include "InstanceLock.h"
#include "Monitoring.h"
#include "NeighboursCommand.h"
#include "Privileges.h"
#include "ProcessSignalWatcher.h"
#include "ProcessValues.h"
#include "RunLogs.h"
#include "ScanCommand.h"
#include "ServiceNotifier.h"
#include "SweepCommand.h"
#include "TarnwickVersion.h"
#include "TraceCommand.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "net/NameResolver.h"
#include "net/NeighbourFinder.h"
#include "net/OuiRegistry.h"
#include "net/ProbeEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <utility>

namespace Tarnwick {

int HeadlessProgram::run(int argc, char** argv)
{
    appVersion = QStringLiteral(TARNWICK_VERSION);
    const CommandLine command = CommandLine::parse(argumentsOf(argc, argv), CommandLine::Mode::Headless);
    if (command.mode == CommandLine::Mode::Desktop) {
        std::fprintf(stderr, "tarnwick-headless: the desktop program is \"tarnwick\"\n");
        return 2;
    }
    if (const std::optional<int> status = runTool(argc, argv, command, CommandLine::Mode::Headless))
        return *status;
    return runMonitor(argc, argv, command);
}

std::optional<int> HeadlessProgram::runTool(int argc, char** argv, const CommandLine& command,
                                            CommandLine::Mode program)
{
    // A tool reloads nothing: a hang-up held back since the start ends it, as it always did.
    if (command.mode != CommandLine::Mode::Headless && command.mode != CommandLine::Mode::Desktop)
        ProcessSignalWatcher::releaseHangUps();
    switch (command.mode) {
    case CommandLine::Mode::Help:
        std::printf("%s", qPrintable(CommandLine::usage(program)));
        return 0;
    case CommandLine::Mode::Version:
        std::printf("Tarnwick %s\n", TARNWICK_VERSION);
        return 0;
    case CommandLine::Mode::Error:
        std::fprintf(stderr, "%s: %s\n", qPrintable(CommandLine::programName(program)), qPrintable(command.error));
        return 2;
    case CommandLine::Mode::Scan: {
        NameResolver resolver;
        const std::unique_ptr<ProbeEngine> engine = openIcmpSocketThenDropPrivileges(resolver);
        return ScanCommand::run(argc, argv, command, *engine);
    }
    case CommandLine::Mode::Trace: {
        NameResolver resolver;
        const std::unique_ptr<ProbeEngine> engine = openIcmpSocketThenDropPrivileges(resolver);
        return TraceCommand::run(argc, argv, command, *engine);
    }
    case CommandLine::Mode::Neighbours:
        return NeighboursCommand::run(argc, argv);
    case CommandLine::Mode::Sweep: {
        NameResolver resolver;
        // Its socket, too, may take the right the engine's do.
        std::optional<NeighbourFinder> neighbours;
        if (command.sweepNetworks.watchesIpv6())
            neighbours.emplace(OuiRegistry::shared());
        const std::unique_ptr<ProbeEngine> engine = openIcmpSocketThenDropPrivileges(resolver);
        return SweepCommand::run(argc, argv, command, *engine, neighbours ? &*neighbours : nullptr);
    }
    case CommandLine::Mode::Headless:
    case CommandLine::Mode::Desktop:
        break;
    }
    return std::nullopt;
}

QStringList HeadlessProgram::argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

std::unique_ptr<ProbeEngine> HeadlessProgram::openIcmpSocketThenDropPrivileges(NameResolver& resolver)
{
    if (Privileges::startedRaised())
        Privileges::forgetCodeLoadingEnvironment();
    auto engine = std::make_unique<ProbeEngine>(resolver);
    Privileges::dropCapabilities();
    return engine;
}

int HeadlessProgram::runMonitor(int argc, char** argv, const CommandLine& command)
{
    quitRequested = false;
    // SIGHUP reads the files again here: a service manager's "reload".
    ProcessSignalWatcher::installHandlers(ProcessSignalWatcher::Hangup::Reloads);
    NameResolver resolver;
    // Its ICMPv6 socket, like the engine's sockets, is opened while the right to is still there.
    const NeighbourFinder neighbours(OuiRegistry::shared());
    const std::unique_ptr<ProbeEngine> engine = openIcmpSocketThenDropPrivileges(resolver);
    InstanceLock lock;
    if (!lock.acquire()) {
        std::fprintf(stderr, "Tarnwick runs already in this folder (process %lld).\n", qlonglong(lock.holder()));
        return 1;
    }
    // Without a desktop, standard error (the journal, under systemd) is where a person looks.
    const RunLogs logs(true);
    Settings& settings = Settings::instance();
    settings.load(QStringLiteral("Settings.xml"), &Monitoring::reportToLog);

    QCoreApplication app(argc, argv);
    Monitoring monitoring(command, settings, *engine, &neighbours);
    ProcessSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::terminationRequested, [] {
        quitRequested = true;
        QCoreApplication::quit();
    });
    // The files are read again at most once a second: a storm of hang-ups reads them once at
    // its start and once after it, not thousands of times.
    QTimer reloadPause;
    reloadPause.setSingleShot(true);
    reloadPause.setInterval(1000);
    bool reloadWaiting = false;
    // A service enabled before anyone listed a device would otherwise watch nothing in silence.
    const auto sayIfNoDevices = [&] {
        if (monitoring.core().data().entries().isEmpty())
            Monitoring::reportToLog(QStringLiteral("No devices to watch in %1; add some (see man tarnwick-headless)")
                                        .arg(QDir::current().absoluteFilePath(monitoring.core().deviceListFile())));
    };
    const auto reload = [&] {
        monitoring.core().reload();
        sayIfNoDevices();
        reloadPause.start();
    };
    QObject::connect(&signalWatcher, &ProcessSignalWatcher::reloadRequested, [&] {
        if (reloadPause.isActive())
            reloadWaiting = true;
        else
            reload();
    });
    QObject::connect(&reloadPause, &QTimer::timeout, [&] {
        if (std::exchange(reloadWaiting, false))
            reload();
    });

    sayIfNoDevices();
    monitoring.core().start();
    ServiceNotifier::ready();
    do {
        QCoreApplication::exec();
    } while (!quitRequested);
    monitoring.end();
    return 0;
}

} // namespace Tarnwick
