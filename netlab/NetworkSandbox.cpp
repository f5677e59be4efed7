// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkSandbox.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryFile>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
bool s_active = false;
}

bool NetworkSandbox::enter(QString* whyNot)
{
    if (s_active)
        return true;
    if (::geteuid() != 0) {
        *whyNot = QStringLiteral("needs root to create a private network namespace");
        return false;
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        *whyNot = QStringLiteral("unshare(CLONE_NEWNET) was refused");
        return false;
    }
    if (QProcess::execute(QStringLiteral("ip"), {"link", "set", "lo", "up"}) != 0) {
        *whyNot = QStringLiteral("could not bring up loopback in the private namespace");
        return false;
    }
    s_active = true;
    return true;
}

bool NetworkSandbox::isActive()
{
    return s_active;
}

bool NetworkSandbox::setSysctl(const QString& name, const QString& value)
{
    QFile file(QStringLiteral("/proc/sys/") + name);
    return file.open(QIODevice::WriteOnly) && file.write(value.toLatin1() + '\n') > 0;
}

bool NetworkSandbox::useHostsFile(const QByteArray& text)
{
    // Mounts of the process's own, so that the system's hosts file stays as it is for everyone else.
    static const bool privateMounts = ::unshare(CLONE_NEWNS) == 0
        && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (!s_active || !privateMounts)
        return false;
    // The mount keeps the file's content; its name goes with this object.
    QTemporaryFile file;
    return file.open() && file.write(text) == text.size() && file.flush()
        && ::mount(QFile::encodeName(file.fileName()).constData(), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
}
