// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QSqlDatabase;

namespace Tarnwick {

// Teaches an SQLite connection to add latency sketches as the history keeps them (bytes of
// LatencySketch::toBytes): sketch_merge(a, b) gives the two together, for a minute that gets
// more results, and the aggregate sketch_merge(column) gives every row's together, for a span
// of minutes. NULL and damaged bytes count as empty.
class SketchSqlFunctions
{
public:
    // Returns false where the connection is no SQLite one or refuses the functions.
    static bool install(const QSqlDatabase& db);
};

} // namespace Tarnwick
