// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace Tarnwick {

// A millisecond counter from the monotonic clock that wraps at 2^32, like the tick count the
// echo request carries as its send time.
class TickCounter
{
public:
    static std::uint32_t now();
};

} // namespace Tarnwick
