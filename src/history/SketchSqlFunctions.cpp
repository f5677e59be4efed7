// SPDX-License-Identifier: GPL-3.0-or-later
#include "SketchSqlFunctions.h"

#include "LatencySketch.h"
#include "SqliteStatement.h"

#include <QByteArray>

#include <sqlite3.h>

namespace Tarnwick {

namespace {

LatencySketch sketchIn(sqlite3_value* value)
{
    if (sqlite3_value_type(value) != SQLITE_BLOB)
        return {};
    const int size = sqlite3_value_bytes(value);
    return LatencySketch::fromBytes(QByteArray(static_cast<const char*>(sqlite3_value_blob(value)), size));
}

void giveBack(sqlite3_context* context, const LatencySketch& sketch)
{
    if (sketch.isEmpty()) {
        sqlite3_result_null(context);
        return;
    }
    const QByteArray bytes = sketch.toBytes();
    sqlite3_result_blob(context, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

void mergeTwo(sqlite3_context* context, int, sqlite3_value** values)
{
    LatencySketch sum = sketchIn(values[0]);
    sum.merge(sketchIn(values[1]));
    giveBack(context, sum);
}

// The aggregate's state is a pointer to a sketch of its own, made at the first row; none where
// SQLite has no memory for it.
LatencySketch** stateOf(sqlite3_context* context)
{
    return static_cast<LatencySketch**>(sqlite3_aggregate_context(context, sizeof(LatencySketch*)));
}

void mergeRow(sqlite3_context* context, int, sqlite3_value** values)
{
    LatencySketch** sum = stateOf(context);
    if (!sum) {
        sqlite3_result_error_nomem(context);
        return;
    }
    if (!*sum)
        *sum = new LatencySketch;
    (*sum)->merge(sketchIn(values[0]));
}

void mergeFinal(sqlite3_context* context)
{
    LatencySketch** sum = stateOf(context);
    if (!sum) {
        sqlite3_result_error_nomem(context);
        return;
    }
    giveBack(context, *sum ? **sum : LatencySketch());
    delete *sum;
    *sum = nullptr;
}

} // namespace

bool SketchSqlFunctions::install(const QSqlDatabase& db)
{
    sqlite3* connection = SqliteStatement::handleOf(db);
    if (!connection)
        return false;
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function_v2(connection, "sketch_merge", 2, flags, nullptr, &mergeTwo, nullptr, nullptr,
                                      nullptr)
        == SQLITE_OK
        && sqlite3_create_function_v2(connection, "sketch_merge", 1, flags, nullptr, nullptr, &mergeRow, &mergeFinal,
                                      nullptr)
        == SQLITE_OK;
}

} // namespace Tarnwick
