// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Tarnwick {

// The program may be given the right to send ICMP (cap_net_raw on its file). It uses that
// right once, to open its ICMP socket at start, and then gives it up, before any window,
// plug-in or thread of its exists, so that no code that runs in it later can use it.
class Privileges
{
public:
    // Whether the process started with more rights than its user has (a file capability or a
    // set-id bit): the kernel's AT_SECURE.
    static bool startedRaised();
    // Forgets the environment variables through which whoever starts the program could make
    // it load code of their own (Qt's plug-in paths and the like).
    static void forgetCodeLoadingEnvironment();
    // Gives up every capability of the process, whether its file, its starter's ambient set or
    // root gave them. The bounding set goes too where the process may empty it (root), so
    // that nothing it runs later gets them back. Files are then reached with the rights of
    // the user alone: root keeps the files it owns, not other users'.
    static void dropCapabilities();
};

} // namespace Tarnwick
