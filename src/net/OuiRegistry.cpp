// SPDX-License-Identifier: GPL-3.0-or-later
#include "OuiRegistry.h"

#include <QFile>

namespace Tarnwick {

OuiRegistry::OuiRegistry(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // "00-00-0C   (hex)\t\tCisco Systems, Inc": the prefix, "(hex)", and the maker.
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(1024).trimmed();
        const qsizetype hex = line.indexOf("(hex)");
        if (hex != 8 && hex != 11)
            continue;
        const QByteArray prefix = line.left(8);
        if (prefix.size() != 8 || prefix[2] != '-' || prefix[5] != '-')
            continue;
        bool ok = false;
        const quint32 key = QByteArray(prefix).replace('-', "").toUInt(&ok, 16);
        const QString maker = QString::fromUtf8(line.mid(hex + 5).trimmed());
        if (ok && !maker.isEmpty())
            m_vendors.insert(key, maker);
    }
}

const OuiRegistry& OuiRegistry::shared()
{
    static const OuiRegistry registry(QString::fromLatin1(DefaultFile));
    return registry;
}

QString OuiRegistry::vendor(const QString& hardwareAddress) const
{
    const QStringList octets = hardwareAddress.split(QLatin1Char(':'));
    if (octets.size() != 6)
        return {};
    bool ok = false;
    const quint32 key = (octets[0] + octets[1] + octets[2]).toUInt(&ok, 16);
    if (!ok)
        return {};
    // The second bit of the first octet: an address the device made up for itself.
    if ((key >> 16) & 0x02)
        return QStringLiteral("random/private");
    return m_vendors.value(key);
}

} // namespace Tarnwick
