// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogManager.h"

#include "ILog.h"
#include "ILogManagerListener.h"

#include <algorithm>

namespace Tarnwick {

namespace {

// One entry is one line: a line break in a description would otherwise forge entries of its
// own in the file and on a terminal, and other control characters (escape sequences) have no
// place in either. Each becomes a space: the ASCII ones, and in UTF-8 the C1 controls (next
// line among them) and the line and paragraph separators.
std::string oneLine(const std::string& text)
{
    std::string line;
    line.reserve(text.size());
    const auto byte = [&text](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0; };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (byte(i) < 0x20 || byte(i) == 0x7f) {
            line += ' ';
        } else if (byte(i) == 0xc2 && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9f) {
            line += ' ';
            i += 1;
        } else if (byte(i) == 0xe2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xa8 || byte(i + 2) == 0xa9)) {
            line += ' ';
            i += 2;
        } else {
            line += text[i];
        }
    }
    return line;
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

void LogManager::removeLog(ILog* log)
{
    m_logs.erase(std::remove(m_logs.begin(), m_logs.end(), log), m_logs.end());
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
