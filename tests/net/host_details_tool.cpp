// SPDX-License-Identifier: GPL-3.0-or-later
// Prints what discovery learns of an address besides its answer, as one tab-separated line:
// the name, the hardware address and its maker.
//   host_details_tool <address> <OUI registry file>
#include "net/NeighbourTable.h"
#include "net/OuiRegistry.h"
#include "net/ReverseNameLookup.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace Tarnwick;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    const QString hardware = NeighbourTable::current().hardwareAddress(args[1]);
    std::printf("%s\t%s\t%s\n", qPrintable(ReverseNameLookup::nameOf(args[1])), qPrintable(hardware),
                qPrintable(OuiRegistry(args[2]).vendor(hardware)));
    return 0;
}
