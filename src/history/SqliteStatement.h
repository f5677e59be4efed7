// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSqlError>

#include <initializer_list>
#include <variant>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

namespace Tarnwick {

// A statement prepared once on SQLite's own handle under a Qt connection, run over and over with
// whole numbers and bytes. A batch writes its rows by the thousand: through QSqlQuery each value
// costs a QVariant and the bookkeeping of a bind, more than SQLite's own work for the row.
class SqliteStatement
{
public:
    // A null QByteArray is bound as NULL.
    using Value = std::variant<qint64, QByteArray>;

    // SQLite's handle of the connection; null where it is no SQLite one.
    static sqlite3* handleOf(const QSqlDatabase& db);

    SqliteStatement(const QSqlDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Binds the values in order and runs the statement to its end; false with lastError() set
    // where it was not prepared or failed.
    bool run(std::initializer_list<Value> values);
    // In SQLite's words, with its extended result code as the native one.
    const QSqlError& lastError() const { return m_error; }

private:
    void fail();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    QSqlError m_error;
};

} // namespace Tarnwick
