// SPDX-License-Identifier: GPL-3.0-or-later
#include "SqliteProblem.h"

#include "data/PhraseBook.h"

#include <QFile>
#include <QSqlError>
#include <QStringList>

#include <algorithm>

namespace Tarnwick {

namespace {
const QStringList JournalSuffixes = {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"),
                                     QStringLiteral("-shm")};
}

SqliteProblem SqliteProblem::of(const QSqlError& error)
{
    // SQLite's result code, extended or not: its low byte is the primary code.
    constexpr int SqliteBusy = 5;
    constexpr int SqliteLocked = 6;
    constexpr int SqliteCorrupt = 11;
    constexpr int SqliteNotADatabase = 26;
    const int code = error.nativeErrorCode().toInt() & 0xff;
    QString why = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (why.trimmed().isEmpty())
        why = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "the file cannot be written"));
    return {code == SqliteCorrupt || code == SqliteNotADatabase ? NotOurs : Transient, why,
            code == SqliteBusy || code == SqliteLocked};
}

SqliteProblem SqliteProblem::moveAside(const QString& fileName, const QString& why, QString& aside)
{
    const auto taken = [](const QString& name) {
        return std::any_of(JournalSuffixes.cbegin(), JournalSuffixes.cend(),
                           [&name](const QString& suffix) { return QFile::exists(name + suffix); });
    };
    aside = fileName + QStringLiteral(".unreadable");
    for (int n = 2; taken(aside); ++n)
        aside = fileName + QStringLiteral(".unreadable.") + QString::number(n);
    QStringList moved;
    for (const QString& suffix : JournalSuffixes) {
        QFile part(fileName + suffix);
        if (!part.exists())
            continue;
        if (!part.rename(aside + suffix)) {
            const QString reason = part.errorString();
            for (const QString& back : std::as_const(moved))
                QFile::rename(aside + back, fileName + back);
            return {Transient, PhraseBook::english(PhraseBook::CannotBeMovedAside, {why, reason})};
        }
        moved << suffix;
    }
    return {};
}

} // namespace Tarnwick
