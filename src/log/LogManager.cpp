// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogManager.h"

#include "ILog.h"
#include "ILogManagerListener.h"

#include <algorithm>

namespace Tarnwick {

namespace {

// One entry is one line: a line break in a description would otherwise forge entries of its
// own in the file and on a terminal, and other control characters (escape sequences) have no
// place in either. Each becomes a space.
std::string oneLine(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, ' ');
    return text;
}

} // namespace

LogManager& LogManager::instance()
{
    static LogManager manager;
    return manager;
}

void LogManager::addLog(ILog* log)
{
    m_logs.push_back(log);
}

void LogManager::addListener(ILogManagerListener* listener)
{
    m_listeners.push_back(listener);
}

void LogManager::removeListener(ILogManagerListener* listener)
{
    const auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it != m_listeners.end())
        m_listeners.erase(it);
}

void LogManager::log(const std::string& rawCategory, const std::string& rawText)
{
    const std::string category = oneLine(rawCategory);
    const std::string text = oneLine(rawText);
    for (ILog* sink : m_logs) {
        if (sink->isEnabled() == 1)
            sink->write(category, text);
    }
    // A listener may unregister itself while being told; walk a copy.
    const std::vector<ILogManagerListener*> listeners = m_listeners;
    for (ILogManagerListener* listener : listeners)
        listener->onLogEntry(category, text);
}

std::vector<std::string> LogManager::readEntries()
{
    for (ILog* sink : m_logs) {
        if (sink->isEnabled() == 1)
            return sink->readEntries();
    }
    return {};
}

std::vector<std::string> LogManager::readLastEntries(std::size_t count)
{
    for (ILog* sink : m_logs) {
        if (sink->isEnabled() == 1)
            return sink->readLastEntries(count);
    }
    return {};
}

} // namespace Tarnwick
