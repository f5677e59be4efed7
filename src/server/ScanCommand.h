// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace Tarnwick {

struct CommandLine;
class ProbeEngine;

// "tarnwick --scan FROM TO": the discovery scan without a display and without any file of the
// working folder, one line per address in box order ("address<TAB>result"), then the line
// that ends a scan in the dialog, and the count of hosts present without an echo reply.
class ScanCommand : public QObject
{
    Q_OBJECT

public:
    static int run(int argc, char** argv, const CommandLine& command, ProbeEngine& engine);

public slots:
    void scanResult(int finding, const QString& address, const QString& result);
    void scanCompleted(int active, int total, int present);
};

} // namespace Tarnwick
