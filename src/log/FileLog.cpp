#include "FileLog.h"

#include "LogTimestamp.h"

#include <fstream>

namespace Tarnwick {

FileLog::FileLog(const std::string& fileName)
    : m_fileName(fileName)
{
}

int FileLog::isEnabled()
{
    return m_enabled;
}

std::vector<std::string> FileLog::readEntries()
{
    std::vector<std::string> lines;
    std::ifstream file(m_fileName, std::ios::binary);
    if (!file)
        return lines;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void FileLog::write(const std::string& category, const std::string& text)
{
    std::ofstream file(m_fileName, std::ios::binary | std::ios::app);
    if (!file)
        return;
    file << logTimestamp() << " | " << category << " | " << text << '\n';
    file.flush();
}

} // namespace Tarnwick
