// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileChangeWatch.h"

#include <QFileInfo>

namespace Tarnwick {

FileChangeWatch::FileChangeWatch(std::chrono::milliseconds settleTime)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleTime);
    connect(&m_settle, &QTimer::timeout, this, &FileChangeWatch::settled);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileChangeWatch::heard);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FileChangeWatch::heard);
}

void FileChangeWatch::watch(File file)
{
    const QString fileName = file.document().fileName();
    if (fileName.isEmpty())
        return;
    const QFileInfo info(fileName);
    Watched watched;
    watched.file = std::move(file);
    watched.path = info.absoluteFilePath();
    m_files.push_back(std::move(watched));
    if (!m_watcher.directories().contains(info.absolutePath()))
        m_watcher.addPath(info.absolutePath());
    watchFilesThatExist();
}

void FileChangeWatch::heard()
{
    m_settle.start();
}

void FileChangeWatch::watchFilesThatExist()
{
    const QStringList watching = m_watcher.files();
    for (Watched& watched : m_files) {
        const DocumentFile::DiskState now = DocumentFile::diskState(watched.path);
        const bool hasWatch = watching.contains(watched.path);
        if (hasWatch && now.inode == watched.watchedInode)
            continue;
        if (hasWatch)
            m_watcher.removePath(watched.path);
        // A file the program may not read cannot be watched either; its folder still is.
        if (now.exists && QFileInfo(watched.path).isReadable() && m_watcher.addPath(watched.path))
            watched.watchedInode = now.inode;
    }
}

void FileChangeWatch::settled()
{
    // Before the files are looked at: a write after the look is heard.
    watchFilesThatExist();
    for (Watched& watched : m_files) {
        const DocumentFile::DiskState now = DocumentFile::diskState(watched.path);
        // Looked at as it is: one that could not be read whole waits for its next write.
        if (now == watched.looked)
            continue;
        if (!watched.file.document().changedOnDisk()) {
            watched.looked = now;
            continue;
        }
        if (watched.file.ownChangesWaiting()) {
            if (!(now == watched.heldBack)) {
                watched.heldBack = now;
                watched.file.heldBack();
            }
            // Looked at again until they are saved (which leaves nothing to read) or undone.
            m_settle.start();
            continue;
        }
        watched.looked = now;
        watched.file.readAgain();
    }
}

} // namespace Tarnwick
