// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunningMonitor.h"

#include "monitor/MonitorCore.h"

namespace Tarnwick {

namespace {

MonitorCore* s_core = nullptr;

} // namespace

void setRunningCore(MonitorCore* core)
{
    s_core = core;
}

void startPinger()
{
    if (s_core)
        s_core->start();
}

void stopPinger()
{
    if (s_core)
        s_core->pause();
}

} // namespace Tarnwick
