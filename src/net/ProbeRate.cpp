// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProbeRate.h"

#include "ProbePacer.h"
#include "data/DeviceEntry.h"
#include "data/PhraseBook.h"

#include <algorithm>

namespace Tarnwick {

std::int64_t ProbeRate::requestsOf(const QList<DeviceEntry>& entries)
{
    std::int64_t requests = 0;
    for (const DeviceEntry& entry : entries)
        requests += 1 + entry.moreChecks.size();
    return requests;
}

std::int64_t ProbeRate::ceilingOf(const Settings& settings)
{
    return std::clamp<std::int64_t>(settings.mostProbesPerSecond.load(), Settings::LeastMostProbesPerSecond,
                                    Settings::MostMostProbesPerSecond);
}

std::int64_t ProbeRate::intervalNs(std::int64_t devices, std::int64_t periodMs, std::int64_t ceilingPerSecond)
{
    if (devices <= 0 || periodMs <= 0)
        return ProbePacer::DefaultIntervalNs;
    const double needed = double(periodMs) * 1000000 / (double(devices) * HeadRoom);
    return std::clamp(std::int64_t(needed), 1000000000 / std::max<std::int64_t>(1, ceilingPerSecond),
                      ProbePacer::DefaultIntervalNs);
}

std::int64_t ProbeRate::effectivePeriodMs(std::int64_t devices, std::int64_t periodMs, std::int64_t ceilingPerSecond)
{
    // At the ceiling the head-room is spent first: devices are probed every period until the
    // list needs more than the ceiling itself.
    const std::int64_t atCeilingMs = devices * 1000 / std::max<std::int64_t>(1, ceilingPerSecond);
    return std::max(periodMs, atCeilingMs);
}

QString ProbeRate::outgrownText(std::int64_t devices, std::int64_t requests, std::int64_t periodMs,
                                std::int64_t ceilingPerSecond)
{
    if (periodMs <= 0 || !outgrown(requests, periodMs, ceilingPerSecond))
        return {};
    // Tenths of a second, rounded up: the promise is never better than the truth.
    const std::int64_t tenths = (effectivePeriodMs(requests, periodMs, ceilingPerSecond) + 99) / 100;
    return PhraseBook::english(PhraseBook::ProbedAboutEvery,
                               {QString::number(devices), QString::number(double(tenths) / 10)});
}

} // namespace Tarnwick
