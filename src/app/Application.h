// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Tarnwick {

struct CommandLine;

// Builds the whole program in its fixed order, runs the event loop until the user quits,
// then saves the files and tears down what start-up created.
class Application
{
public:
    static int run(int argc, char** argv);

private:
    static int runDesktop(int argc, char** argv, const CommandLine& command);
    // The one way out: used by the termination signals and the desktop session's end.
    static void requestQuit();
};

} // namespace Tarnwick
