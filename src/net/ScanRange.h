// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <algorithm>
#include <optional>

namespace Tarnwick {

// The IPv4 addresses one scan probes, in the order it probes them: a box, each octet running
// from its FROM to its TO on its own (what the dialog's From and To fields give), or a span of
// consecutive addresses in address order (a prefix, "Scan my network").
class ScanRange
{
public:
    // from and to: four octets each.
    static ScanRange box(const QList<quint8>& from, const QList<quint8>& to);
    // first to last, in host byte order; empty when last is below first.
    static ScanRange span(quint32 first, quint32 last);
    // The host addresses of a prefix of the address given (host byte order): network and
    // broadcast addresses left out, but a /31 keeps both and a /32 is the address alone.
    static ScanRange hostsOf(quint32 address, int prefixLength);
    // "a.b.c.d/n" as hostsOf takes it; none for anything else.
    static std::optional<ScanRange> parsePrefix(const QString& text);

    qint64 size() const;
    // A span's first and last address (host byte order).
    quint32 first() const { return m_first; }
    quint32 last() const { return m_first + quint32(std::max<qint64>(0, m_spanSize - 1)); }
    // The address at a position, 0 to size() - 1, as dotted text.
    QString addressAt(qint64 index) const;

private:
    bool m_isBox = true;
    QList<quint8> m_from{0, 0, 0, 0};
    QList<quint8> m_to{0, 0, 0, 0};
    quint32 m_first = 0;
    qint64 m_spanSize = 0;
};

} // namespace Tarnwick
