// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace Tarnwick {

struct CommandLine;

// Builds the whole program in its fixed order, runs the event loop until the user quits,
// then saves the files and tears down what start-up created.
class Application
{
public:
    static int run(int argc, char** argv);

private:
    static QStringList argumentsOf(int argc, char** argv);
    // The ICMP socket is opened first, with whatever right the program file gives; then that
    // right goes, before any window, plug-in or thread exists.
    static void openIcmpSocketThenDropPrivileges();
    static int runDesktop(int argc, char** argv, const CommandLine& command);
    // The monitor, its history, log and metrics, without a display.
    static int runHeadless(int argc, char** argv, const CommandLine& command);
    // The one way out: used by the termination signals and the desktop session's end.
    static void requestQuit();
};

} // namespace Tarnwick
