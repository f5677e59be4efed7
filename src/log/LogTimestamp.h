// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ctime>
#include <string>

namespace Tarnwick {

// "[DD/MM/YYYY HH:MM:SS]" in local time.
std::string logTimestamp();
std::string logTimestamp(std::time_t when);

} // namespace Tarnwick
