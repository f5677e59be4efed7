// SPDX-License-Identifier: GPL-3.0-or-later
#include "TickCounter.h"

#include <ctime>

namespace Tarnwick {

std::uint32_t TickCounter::now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u
        + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

} // namespace Tarnwick
