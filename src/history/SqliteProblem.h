// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QSqlError;

namespace Tarnwick {

// What an error of SQLite's means for the file of ours it came from: only a damaged file, or one
// that is no database, is not ours to use; busy, locked, full, read-only and I/O errors pass, and
// the file is kept.
struct SqliteProblem
{
    enum Kind { None, Transient, NotOurs } kind = None;
    QString why;
    bool lockedOut = false; // another program holds the lock

    static SqliteProblem of(const QSqlError& error);

    // Moves a file that is not ours to use aside, with its journals (left behind, a journal
    // would be read into the new file), as "<file>.unreadable", numbered where that is taken.
    // Sets aside to the name used; a Transient problem when a part cannot be moved, and what was
    // moved goes back.
    static SqliteProblem moveAside(const QString& fileName, const QString& why, QString& aside);
};

} // namespace Tarnwick
