#pragma once

#include "ILog.h"

namespace Tarnwick {

// Appends time-stamped lines to a text file, opening and closing it for every entry.
class FileLog : public ILog
{
public:
    explicit FileLog(const std::string& fileName);

    int isEnabled() override;
    std::vector<std::string> readEntries() override;
    void write(const std::string& category, const std::string& text) override;

private:
    int m_enabled = 1;
    std::string m_fileName;
};

} // namespace Tarnwick
