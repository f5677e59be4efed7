// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Tarnwick {

class MonitorCore;

// The desktop program's running monitor under the names its start-up and its windows use:
// thin forwards to the one core the start-up publishes, so that there is no second monitor.
void setRunningCore(MonitorCore* core);
// Starts the monitor, or starts it again after a pause; nothing without a core.
void startPinger();
// Pauses the monitor (a scan); its results so far reach the store first.
void stopPinger();

} // namespace Tarnwick
