// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/ScanRange.h"
#include "net/WatchedNetworks.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Tarnwick {

// What the program was asked to do on its command line. Options of Qt's own (one dash, such
// as "-platform") are left to Qt.
struct CommandLine
{
    enum class Mode { Desktop, Headless, Help, Version, Scan, Error, Neighbours, Sweep, Trace };

    Mode mode = Mode::Desktop;
    QString error; // Mode::Error: what was wrong, in one line
    ScanRange scanRange; // Mode::Scan
    int timeoutMs = 1000; // Mode::Scan and Mode::Trace
    // Mode::Scan: a silent address is given up once it has waited ten times the slowest answer
    // (QuickScanWait) rather than the whole time-out; --full-wait turns it off.
    bool quickScan = true;
    // Mode::Scan: the most requests sent a second (--rate); the engine's own pace unless given.
    int scanRate = DefaultScanRate;
    static constexpr int DefaultScanRate = 1000;
    static constexpr int MostScanRate = 1000000;
    QString traceTarget; // Mode::Trace: an address or a name
    quint16 tracePort = 0; // Mode::Trace: a TCP port to trace by, or 0 for echo requests
    WatchedNetworks sweepNetworks; // Mode::Sweep
    // --metrics: where to serve metrics this time, in place of the setting (Desktop, Headless).
    bool metricsGiven = false;
    QString metrics;
    // --api: where to serve the HTTP API this time, in place of the setting (Desktop, Headless).
    bool apiGiven = false;
    QString api;

    // withoutOptions: what the program does when asked nothing else (the desktop program starts
    // its window, the server program watches without one).
    static CommandLine parse(const QStringList& arguments, Mode withoutOptions = Mode::Desktop);
    static QString usage(Mode withoutOptions = Mode::Desktop);
    // The name of the program that does that: "tarnwick" or "tarnwick-headless".
    static QString programName(Mode withoutOptions);
};

} // namespace Tarnwick
