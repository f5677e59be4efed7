// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ILog.h"

#include <cstdio>

namespace Tarnwick {

// Writes each entry as a line to a stream (standard error without a desktop), in the file
// log's form; it keeps nothing to read back.
class StreamLog : public ILog
{
public:
    explicit StreamLog(std::FILE* stream);

    int isEnabled() override { return 1; }
    std::vector<std::string> readEntries() override { return {}; }
    void write(const std::string& category, const std::string& text) override;

private:
    std::FILE* m_stream;
};

} // namespace Tarnwick
