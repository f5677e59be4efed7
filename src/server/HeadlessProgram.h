// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandLine.h"

#include <QStringList>

#include <memory>
#include <optional>

namespace Tarnwick {

class NameResolver;
class ProbeEngine;

// The server program: the monitor with its history, log, metrics and alerts, without any
// display, until SIGTERM or SIGINT; SIGHUP reads its files again. Also the command-line tools
// that need no display (the scan, the IPv6 neighbours).
class HeadlessProgram
{
public:
    // The whole program of tarnwick-headless.
    static int run(int argc, char** argv);
    // The monitor alone, as tarnwick-headless and tarnwick --headless run it.
    static int runMonitor(int argc, char** argv, const CommandLine& command);
    // The modes that end at once or run a tool (help, version, errors, the scan, the neighbours);
    // none for the others. program: what the program runs without options, for its help.
    static std::optional<int> runTool(int argc, char** argv, const CommandLine& command, CommandLine::Mode program);
    // The engine and its ICMP socket are made first, with whatever right the program file
    // gives; then that right goes, before any window, plug-in or thread exists. The engine
    // probes for the whole run and resolves names through resolver.
    static std::unique_ptr<ProbeEngine> openIcmpSocketThenDropPrivileges(NameResolver& resolver);
    static QStringList argumentsOf(int argc, char** argv);
};

} // namespace Tarnwick
