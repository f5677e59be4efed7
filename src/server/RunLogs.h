// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "log/FileLog.h"
#include "log/StreamLog.h"

#include <optional>

namespace Tarnwick {

// The logs a run writes to: "LogRelease.txt", and standard error besides where asked. They say
// that the program started, and take the log's lines for as long as they live.
class RunLogs
{
public:
    explicit RunLogs(bool alsoToStandardError);
    ~RunLogs();

    RunLogs(const RunLogs&) = delete;
    RunLogs& operator=(const RunLogs&) = delete;

private:
    FileLog m_file;
    std::optional<StreamLog> m_standardError;
};

} // namespace Tarnwick
