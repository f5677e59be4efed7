// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <memory>

namespace Tarnwick {

struct CommandLine;
class NameResolver;
class ProbeEngine;

// Builds the whole program in its fixed order, runs the event loop until the user quits,
// then saves the files and tears down what start-up created.
class Application
{
public:
    static int run(int argc, char** argv);

private:
    static QStringList argumentsOf(int argc, char** argv);
    // The engine and its ICMP socket are made first, with whatever right the program file
    // gives; then that right goes, before any window, plug-in or thread exists. The engine
    // probes for the whole run and resolves names through resolver.
    static std::unique_ptr<ProbeEngine> openIcmpSocketThenDropPrivileges(NameResolver& resolver);
    static int runDesktop(int argc, char** argv, const CommandLine& command);
    // The monitor, its history, log and metrics, without a display.
    static int runHeadless(int argc, char** argv, const CommandLine& command);
    // The one way out: used by the termination signals and the desktop session's end.
    static void requestQuit();
};

} // namespace Tarnwick
