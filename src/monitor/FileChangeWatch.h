// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DocumentFile.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <vector>

namespace Tarnwick {

// Notices when one of the program's files is changed on disk by someone else (an editor, a
// script, "sed -i"), written in place or replaced by a new file, and has it read again once
// the writing has settled. The program's own saves are no change: each file's DocumentFile
// knows what was last read or written. A file that cannot be read whole is tried again at its
// next write. A file the program holds changes of its own for, not saved yet, is not read over
// them: the save that follows keeps the hand edit beside it, and until then it is looked at again.
// Lives on the GUI thread.
class FileChangeWatch : public QObject
{
    Q_OBJECT

public:
    // How long the files must be left alone before they are looked at: a burst of writes, or a
    // file written in pieces, is read once.
    static constexpr std::chrono::milliseconds DefaultSettleTime{300};

    struct File
    {
        // What the program knows of the file (reading it again may replace it).
        std::function<const DocumentFile&()> document;
        // Whether the program has changes to it that wait to be saved.
        std::function<bool()> ownChangesWaiting;
        // Reads it again, and says what that did.
        std::function<void()> readAgain;
        // Says that it changed on disk while changes of the program's own wait; called once for
        // each version on disk.
        std::function<void()> heldBack;
    };

    explicit FileChangeWatch(std::chrono::milliseconds settleTime = DefaultSettleTime);

    // Watches the file, and the folder it is in: a file replaced by another is a new file,
    // which a watch of the old one never hears of.
    void watch(File file);

private:
    struct Watched
    {
        File file;
        QString path;
        // The inode the watch of the file is on.
        quint64 watchedInode = 0;
        // The file as last looked at, and as last told held back.
        DocumentFile::DiskState looked;
        DocumentFile::DiskState heldBack;
    };

    void heard();
    void settled();
    // Puts a watch on each file there is, where it has none yet or the file is another now.
    void watchFilesThatExist();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    std::vector<Watched> m_files;
};

} // namespace Tarnwick
