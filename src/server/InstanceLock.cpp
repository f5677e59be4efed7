// SPDX-License-Identifier: GPL-3.0-or-later
#include "InstanceLock.h"

#include "AppLogging.h"

namespace Tarnwick {

InstanceLock::InstanceLock()
    : m_lock(QString::fromLatin1(FileName))
{
    // A lock is stale only when its process has gone, however long it has been held.
    m_lock.setStaleLockTime(0);
}

bool InstanceLock::acquire()
{
    if (m_lock.tryLock(0))
        return true;
    if (m_lock.error() != QLockFile::LockFailedError) {
        qCWarning(lcApp).noquote() << "cannot take the lock" << FileName
                                   << "of this folder; another copy of Tarnwick started here would not be noticed";
        return true;
    }
    QString hostName;
    QString appName;
    m_lock.getLockInfo(&m_holder, &hostName, &appName);
    return false;
}

} // namespace Tarnwick
