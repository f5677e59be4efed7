// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileLog.h"

#include "LogTimestamp.h"

#include <algorithm>
#include <filesystem>
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

std::vector<std::string> FileLog::readLastEntries(std::size_t count)
{
    std::ifstream file(m_fileName, std::ios::binary | std::ios::ate);
    if (!file || count == 0)
        return {};
    // Back from the end a block at a time until the block holds count line ends besides the
    // file's last one.
    const std::streamoff size = file.tellg();
    constexpr std::streamoff Block = 64 * 1024;
    std::string tail;
    std::streamoff start = size;
    std::size_t lineEnds = 0;
    while (start > 0 && lineEnds <= count) {
        const std::streamoff length = std::min(Block, start);
        start -= length;
        std::string block(std::size_t(length), '\0');
        file.seekg(start);
        file.read(block.data(), length);
        lineEnds += std::size_t(std::count(block.begin(), block.end(), '\n'));
        tail.insert(0, block);
    }
    std::vector<std::string> lines;
    std::size_t from = 0;
    // Unless the whole file was read, the first piece is the end of a line cut in two.
    if (start > 0)
        from = tail.find('\n') + 1;
    while (from < tail.size()) {
        std::size_t end = tail.find('\n', from);
        if (end == std::string::npos)
            end = tail.size();
        std::string line = tail.substr(from, end - from);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        from = end + 1;
    }
    if (lines.size() > count)
        lines.erase(lines.begin(), lines.end() - std::ptrdiff_t(count));
    return lines;
}

bool FileLog::rotateIfLarger(std::uintmax_t maxBytes)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path(m_fileName);
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size <= maxBytes)
        return false;
    fs::path aside = path;
    aside.replace_extension();
    aside += ".1" + path.extension().string();
    fs::rename(path, aside, error);
    return !error;
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
