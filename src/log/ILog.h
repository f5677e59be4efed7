#pragma once

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
    virtual void write(const std::string& category, const std::string& text) = 0;
};

} // namespace Tarnwick
