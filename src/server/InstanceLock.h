// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLockFile>

namespace Tarnwick {

// One running program per working directory: two would each save their own view of the same
// files, and the last to quit would undo the other's changes. The lock is a file beside the
// data files, released when the program ends, however it ends.
class InstanceLock
{
public:
    static constexpr const char* FileName = "Tarnwick.lock";

    InstanceLock();

    // True when this program may run here: it holds the lock, or the folder cannot take a
    // lock file at all (then nothing it could save would land there either).
    bool acquire();
    // The process that holds the lock when acquire() said no.
    qint64 holder() const { return m_holder; }

private:
    QLockFile m_lock;
    qint64 m_holder = 0;
};

} // namespace Tarnwick
