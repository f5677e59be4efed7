// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Tarnwick {

// A place where log entries are kept.
class ILog
{
public:
    virtual ~ILog() = default;
    virtual int isEnabled() = 0;
    virtual std::vector<std::string> readEntries() = 0;
    // The newest entries only, at most count of them, oldest first.
    virtual std::vector<std::string> readLastEntries(std::size_t count)
    {
        std::vector<std::string> entries = readEntries();
        if (entries.size() > count)
            entries.erase(entries.begin(), entries.end() - std::ptrdiff_t(count));
        return entries;
    }
    virtual void write(const std::string& category, const std::string& text) = 0;
};

} // namespace Tarnwick
