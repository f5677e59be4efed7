// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace Tarnwick {

// What reading one of the program's files again while it runs did: nothing when the file could
// not be read whole (problem says why, and what runs stays as it was), else how many of its
// records were added, removed or changed.
struct FileReload
{
    bool read = false;
    QString problem;
    int added = 0;
    int removed = 0;
    int changed = 0;
    // What changed, where its records have names (the settings' elements).
    QStringList changedNames;

    bool changedAnything() const { return added + removed + changed > 0; }
};

} // namespace Tarnwick
