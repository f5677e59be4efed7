// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunLogs.h"

#include "log/LogManager.h"

#include <QtGlobal>

#include <cstdio>

namespace Tarnwick {

RunLogs::RunLogs(bool alsoToStandardError)
    : m_file("LogRelease.txt")
{
    LogManager& logManager = LogManager::instance();
    // One old log is kept beside the new one, so that the log never grows without end.
    m_file.rotateIfLarger(10 * 1024 * 1024);
    // The file comes first: it is the one read back.
    logManager.addLog(&m_file);
    if (alsoToStandardError)
        logManager.addLog(&m_standardError.emplace(stderr));
    logManager.log("Application", QT_TRANSLATE_NOOP("Phrases", "Application \"Tarnwick\" started"));
}

RunLogs::~RunLogs()
{
    LogManager& logManager = LogManager::instance();
    logManager.removeLog(&m_file);
    if (m_standardError)
        logManager.removeLog(&*m_standardError);
}

} // namespace Tarnwick
