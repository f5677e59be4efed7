// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogTimestamp.h"

#include <cstdio>

namespace Tarnwick {

std::string logTimestamp()
{
    return logTimestamp(std::time(nullptr));
}

std::string logTimestamp(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char text[40];
    std::snprintf(text, sizeof text, "[%02d/%02d/%04d %02d:%02d:%02d]", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

} // namespace Tarnwick
