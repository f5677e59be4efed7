// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Tarnwick {

// "tarnwick --neighbours": finds the IPv6 hosts on the links that are up and prints one line
// each (address, hardware address, vendor, name, tab-separated), then the summary line.
class NeighboursCommand
{
public:
    // How long the names of the hosts found may take, all together.
    static constexpr int NamesWaitMs = 3000;

    // The exit status: 0 when the request went out, 1 when it could not.
    static int run(int argc, char** argv);
};

} // namespace Tarnwick
