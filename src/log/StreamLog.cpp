// SPDX-License-Identifier: GPL-3.0-or-later
#include "StreamLog.h"

#include "LogTimestamp.h"

namespace Tarnwick {

StreamLog::StreamLog(std::FILE* stream)
    : m_stream(stream)
{
}

void StreamLog::write(const std::string& category, const std::string& text)
{
    const std::string line = logTimestamp() + " | " + category + " | " + text + '\n';
    std::fwrite(line.data(), 1, line.size(), m_stream);
    std::fflush(m_stream);
}

} // namespace Tarnwick
