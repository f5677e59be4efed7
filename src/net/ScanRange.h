// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <algorithm>
#include <array>
#include <optional>

namespace Tarnwick {

// The addresses one scan probes, in the order it probes them: a box of IPv4 addresses, each octet
// running from its FROM to its TO on its own (what the dialog's From and To fields give), a span
// of consecutive IPv4 addresses in address order (a prefix, "Scan my network"), or IPv6
// addresses that differ only in their last 16 bits, in address order.
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

    // from and to: IPv6 texts (with the same "%interface", if any) that differ only in their
    // last 16 bits, from not above to; none, with the reason, for anything else.
    static std::optional<ScanRange> ipv6Span(const QString& from, const QString& to, QString* problem);

    qint64 size() const;
    // A span's first and last address (host byte order).
    quint32 first() const { return m_first; }
    quint32 last() const { return m_first + quint32(std::max<qint64>(0, m_spanSize - 1)); }
    // The address at a position, 0 to size() - 1, as dotted text (IPv6: its shortest form).
    QString addressAt(qint64 index) const;

private:
    bool m_isBox = true;
    QList<quint8> m_from{0, 0, 0, 0};
    QList<quint8> m_to{0, 0, 0, 0};
    quint32 m_first = 0;
    qint64 m_spanSize = 0;
    bool m_isIpv6 = false;
    std::array<quint8, 16> m_ipv6{}; // the first address of an IPv6 span
    QString m_scope; // its "%interface", if any
};

} // namespace Tarnwick
