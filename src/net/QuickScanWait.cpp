// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuickScanWait.h"

#include <algorithm>

namespace Tarnwick {

std::chrono::microseconds QuickScanWait::wait(std::chrono::milliseconds timeout,
                                              std::optional<std::chrono::microseconds> slowestAnswer)
{
    const std::chrono::microseconds whole = timeout;
    if (!slowestAnswer)
        return whole;
    return std::min(whole, std::max<std::chrono::microseconds>(Least, Patience * *slowestAnswer));
}

} // namespace Tarnwick
