// SPDX-License-Identifier: GPL-3.0-or-later
#include "SqliteStatement.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace Tarnwick {

sqlite3* SqliteStatement::handleOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

SqliteStatement::SqliteStatement(const QSqlDatabase& db, const char* sql)
    : m_db(handleOf(db))
{
    if (!m_db) {
        m_error = QSqlError(QStringLiteral("No SQLite connection"), QString(), QSqlError::ConnectionError);
        return;
    }
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr) != SQLITE_OK)
        fail();
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

bool SqliteStatement::run(std::initializer_list<Value> values)
{
    if (!m_statement)
        return false;
    int index = 0;
    int bound = SQLITE_OK;
    for (const Value& value : values) {
        ++index;
        if (const qint64* number = std::get_if<qint64>(&value))
            bound = sqlite3_bind_int64(m_statement, index, *number);
        else if (const QByteArray& bytes = std::get<QByteArray>(value); bytes.isNull())
            bound = sqlite3_bind_null(m_statement, index);
        else
            bound = sqlite3_bind_blob(m_statement, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        if (bound != SQLITE_OK)
            break;
    }
    const int stepped = bound == SQLITE_OK ? sqlite3_step(m_statement) : bound;
    // Read before the reset, which gives the step's code again but may lose its message.
    if (stepped != SQLITE_DONE && stepped != SQLITE_ROW)
        fail();
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    return stepped == SQLITE_DONE || stepped == SQLITE_ROW;
}

void SqliteStatement::fail()
{
    m_error = QSqlError(QStringLiteral("Unable to write the row"), QString::fromUtf8(sqlite3_errmsg(m_db)),
                        QSqlError::StatementError, QString::number(sqlite3_extended_errcode(m_db)));
}

} // namespace Tarnwick
