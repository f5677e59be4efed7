// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ILog.h"

#include <cstdint>

namespace Tarnwick {

// Appends time-stamped lines to a text file, opening and closing it for every entry.
class FileLog : public ILog
{
public:
    explicit FileLog(const std::string& fileName);

    int isEnabled() override;
    std::vector<std::string> readEntries() override;
    // Reads the file from its end, so that a long file costs no more than its last lines.
    std::vector<std::string> readLastEntries(std::size_t count) override;
    // Moves a file past maxBytes aside as "<name>.1<extension>" ("LogRelease.1.txt"), in place
    // of an older one, so that the log starts anew; true when it did.
    bool rotateIfLarger(std::uintmax_t maxBytes);
    void write(const std::string& category, const std::string& text) override;

private:
    int m_enabled = 1;
    std::string m_fileName;
};

} // namespace Tarnwick
