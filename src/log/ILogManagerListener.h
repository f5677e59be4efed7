// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace Tarnwick {

// Is told of every log entry as it is logged.
class ILogManagerListener
{
public:
    virtual void onLogEntry(const std::string& category, const std::string& text) = 0;

protected:
    ~ILogManagerListener() = default;
};

} // namespace Tarnwick
