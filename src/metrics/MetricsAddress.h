// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Tarnwick {

// Where the metrics are served, from what the user wrote ("Serve metrics at", --metrics): a
// port alone ("9716", ":9716") means this computer only (127.0.0.1); any other address must be
// written out as a literal ("0.0.0.0:9716", "192.0.2.7:9716", "[::1]:9716"), never a name, so
// that the metrics leave this computer only when asked for in so many words.
struct MetricsAddress
{
    QString listen; // as the HTTP server takes it: "127.0.0.1:9716", "[::1]:9716"; empty: off
    QString error; // why the text was refused; empty when it was not

    bool enabled() const { return !listen.isEmpty(); }
    // served: what is served there, in the refusal's words ("metrics", "the API").
    static MetricsAddress parse(const QString& text,
                                const QString& served = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "metrics")));
};

} // namespace Tarnwick
