// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>

namespace Tarnwick {

// How long a quick scan waits for an address after its request left. Until anything has
// answered, the round trips of the network are unknown, and an address gets the whole time-out;
// once answers have come, a host that has not answered within ten times the slowest of them (at
// least a tenth of a second, for networks faster than the clock's jitter) is taken as silent.
// The time-out stays the upper bound.
class QuickScanWait
{
public:
    static constexpr int Patience = 10;
    static constexpr std::chrono::milliseconds Least{100};

    // slowestAnswer: the longest round trip among the scan's answers so far; none before the first.
    static std::chrono::microseconds wait(std::chrono::milliseconds timeout,
                                          std::optional<std::chrono::microseconds> slowestAnswer);
};

} // namespace Tarnwick
