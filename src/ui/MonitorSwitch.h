// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace Tarnwick {

// How a scan holds the running monitor back while it probes, and lets it go on afterwards:
// the program's core, or whatever a test stands in for it. Either may be empty.
struct MonitorSwitch
{
    std::function<void()> pause{};
    std::function<void()> resume{};
};

} // namespace Tarnwick
