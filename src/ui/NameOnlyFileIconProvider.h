// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileIconProvider>
#include <QMimeDatabase>

namespace Tarnwick {

// Icons and types of a file dialog's entries told by their names alone. Qt's own provider opens
// a file whose name does not settle its type, to read its first bytes; closing that file drops
// every POSIX lock this process holds on it, and SQLite keeps the history's locks on exactly such
// files ("History.sqlite-shm", "-wal"). Another program could then take the history's journal
// from under the running program.
class NameOnlyFileIconProvider : public QFileIconProvider
{
public:
    QIcon icon(const QFileInfo& info) const override;
    using QFileIconProvider::icon;
    QString type(const QFileInfo& info) const override;

private:
    QMimeDatabase m_mimeTypes;
};

} // namespace Tarnwick
