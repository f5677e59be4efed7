// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Settings.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace Tarnwick {

class DeviceEntry;

// How fast the engine sends for the monitor's period mode: fast enough that every device is
// probed once a period, with head-room for late wake-ups and "Ping now", but never slower
// than the engine's default pace and never faster than a ceiling (the most requests a second,
// the user's setting).
class ProbeRate
{
public:
    static constexpr double HeadRoom = 1.5;
    static constexpr std::int64_t CeilingPerSecond = Settings::DefaultMostProbesPerSecond;

    // The requests a round over the list takes: each check of a device is a request of its own.
    static std::int64_t requestsOf(const QList<DeviceEntry>& entries);

    // The least time between two requests for that many devices each probed once a period
    // (periodMs 0: one at a time, the default pace).
    static std::int64_t intervalNs(std::int64_t devices, std::int64_t periodMs,
                                   std::int64_t ceilingPerSecond = CeilingPerSecond);
    // How often each device is really probed, in milliseconds: the period, or longer where the
    // list outgrows the ceiling.
    static std::int64_t effectivePeriodMs(std::int64_t devices, std::int64_t periodMs,
                                          std::int64_t ceilingPerSecond = CeilingPerSecond);
    // Whether the list outgrows the ceiling, so that devices are probed less often than asked.
    static bool outgrown(std::int64_t devices, std::int64_t periodMs, std::int64_t ceilingPerSecond = CeilingPerSecond)
    {
        return effectivePeriodMs(devices, periodMs, ceilingPerSecond) > periodMs;
    }
    // What the user is told where the list outgrows the ceiling ("With 12000 devices, each is
    // probed about every 2.4 s"); empty otherwise. The requests are the checks of all devices
    // together, each a request of its own.
    static QString outgrownText(std::int64_t devices, std::int64_t requests, std::int64_t periodMs,
                                std::int64_t ceilingPerSecond = CeilingPerSecond);
    // The user's ceiling, within what the engine can be asked.
    static std::int64_t ceilingOf(const Settings& settings);
};

} // namespace Tarnwick
