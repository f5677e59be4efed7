// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

namespace Tarnwick {

// The makers of network hardware by the first three octets of its hardware address, from the
// IEEE registry that Debian's ieee-data package keeps ("/usr/share/ieee-data/oui.txt"), read
// once when first asked. Without the file every maker is unknown.
class OuiRegistry
{
public:
    static constexpr const char* DefaultFile = "/usr/share/ieee-data/oui.txt";

    // The registry read from a file (a missing or unreadable one gives an empty registry).
    explicit OuiRegistry(const QString& fileName);
    // The registry of the default file, read once.
    static const OuiRegistry& shared();

    // The maker of "aa:bb:cc:dd:ee:ff"; "random/private" for a locally administered address;
    // empty where the registry does not know it.
    QString vendor(const QString& hardwareAddress) const;
    bool isEmpty() const { return m_vendors.isEmpty(); }

private:
    QHash<quint32, QString> m_vendors;
};

} // namespace Tarnwick
