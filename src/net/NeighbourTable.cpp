// SPDX-License-Identifier: GPL-3.0-or-later
#include "NeighbourTable.h"

#include <QFile>
#include <QList>
#include <QRegularExpression>

namespace Tarnwick {

NeighbourTable NeighbourTable::current()
{
    QFile file(QStringLiteral("/proc/net/arp"));
    return file.open(QIODevice::ReadOnly) ? parse(file.readAll()) : NeighbourTable();
}

NeighbourTable NeighbourTable::parse(const QByteArray& text)
{
    // IP address  HW type  Flags  HW address  Mask  Device
    static const QRegularExpression mac(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    NeighbourTable table;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 6)
            continue;
        bool ok = false;
        const uint flags = QString::fromLatin1(fields[2]).toUInt(&ok, 16);
        const QString hardware = QString::fromLatin1(fields[3]).toLower();
        // 0x2: the neighbour answered; an incomplete entry reads all zeroes.
        if (!ok || !(flags & 0x2) || !mac.match(hardware).hasMatch() || hardware == QLatin1String("00:00:00:00:00:00"))
            continue;
        table.m_addresses.insert(QString::fromLatin1(fields[0]), hardware);
    }
    return table;
}

} // namespace Tarnwick
