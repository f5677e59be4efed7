// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

// A small tmpfs, mounted in a mount namespace of the test process's own so that nobody else
// sees it, for saves that must meet a full disk. Needs root.
class SmallDisk
{
public:
    // Mounts a tmpfs of the given size over the folder; false, with the reason, where it cannot.
    static bool mountOver(const QString& folder, int kilobytes, QString* whyNot)
    {
        if (::geteuid() != 0) {
            *whyNot = QStringLiteral("needs root to mount a small disk");
            return false;
        }
        static bool privateMounts = ::unshare(CLONE_NEWNS) == 0
            && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        if (!privateMounts) {
            *whyNot = QStringLiteral("could not make a mount namespace");
            return false;
        }
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
        if (::mount("tarnwick-test", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) != 0) {
            *whyNot = QStringLiteral("could not mount a tmpfs");
            return false;
        }
        return true;
    }

    // Makes a mounted small disk read-only, or writable again.
    static bool remount(const QString& folder, bool readOnly)
    {
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount(nullptr, QFile::encodeName(folder).constData(), nullptr, flags, nullptr) == 0;
    }

    static void unmount(const QString& folder) { ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH); }

    // Takes the rest of the space of the disk the file is on.
    static void fill(const QString& fileName)
    {
        QFile filler(fileName);
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size()) { }
        while (filler.write(block.left(1)) == 1) { }
    }
};
