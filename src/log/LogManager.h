// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Tarnwick {

class ILog;
class ILogManagerListener;

// The process-wide hub of the event log: entries go to every enabled sink, then to every
// listener. Used on the GUI thread only.
class LogManager
{
public:
    static LogManager& instance();

    void addLog(ILog* log);
    void removeLog(ILog* log);
    void addListener(ILogManagerListener* listener);
    void removeListener(ILogManagerListener* listener);
    void log(const std::string& category, const std::string& text);
    std::vector<std::string> readEntries();
    // The newest entries of the first enabled log, at most count, oldest first.
    std::vector<std::string> readLastEntries(std::size_t count);

private:
    std::vector<ILog*> m_logs;
    std::vector<ILogManagerListener*> m_listeners;
};

} // namespace Tarnwick
