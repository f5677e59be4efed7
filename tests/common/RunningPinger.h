// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Data.h"
#include "data/Settings.h"
#include "net/PingerThread.h"

#include <memory>

namespace Tarnwick {

// The tests' one monitor thread over the published store and the process's settings, started
// and stopped as the program's core starts and pauses its own.
inline std::unique_ptr<PingerThread>& runningPinger()
{
    static std::unique_ptr<PingerThread> pinger;
    return pinger;
}

inline void startPinger(AsyncProbe probe, PingerThread::ResultSink sink = {}, ProbeEngine* engine = nullptr)
{
    if (runningPinger())
        return;
    runningPinger() = std::make_unique<PingerThread>(*Data::instance(), Settings::instance(), std::move(probe),
                                                     std::move(sink), engine);
    runningPinger()->start();
}

inline void stopPinger()
{
    runningPinger().reset();
}

inline PingerThread* currentPinger()
{
    return runningPinger().get();
}

} // namespace Tarnwick
