// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/IpAddress.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <memory>

namespace Tarnwick {

struct CommandLine;
class PathTrace;
class ProbeEngine;
class ReverseNameLookup;

// "tarnwick --trace ADDRESS": the routers on the way to an address, one line per hop in the
// shape of traceroute's ("TTL  address  round trip  round trip  round trip", "*" for a request
// that went unanswered), each hop's line once it is complete and its addresses' names have
// come or had their short while; touches no file.
class TraceCommand : public QObject
{
    Q_OBJECT

public:
    // How long a hop's line waits for an address's name.
    static constexpr int NameWaitMs = 500;

    static int run(int argc, char** argv, const CommandLine& command, ProbeEngine& engine);

private:
    TraceCommand(ProbeEngine& engine, int timeoutMs, quint16 port);
    ~TraceCommand() override;

    void start(const QString& host);
    void trace(const IpAddress& destination, const QString& host);
    void printReady();
    void lookUpNewAddresses();
    // Whether each address of the hop has its name, or has waited NameWaitMs for it; if not,
    // the wait is set to look again.
    bool namesSettled(int hop);
    QString hopLine(int hop) const;
    void finish(int status);

    ProbeEngine& m_engine;
    int m_timeoutMs;
    quint16 m_port;
    std::unique_ptr<PathTrace> m_trace;
    std::unique_ptr<ReverseNameLookup> m_names;
    // Every answering address by when it was first seen, and its name once the look-up ended
    // (empty where there is none).
    QHash<QString, QElapsedTimer> m_firstSeen;
    QHash<QString, QString> m_namesFound;
    QTimer m_nameWait;
    int m_printed = 0;
    int m_status = 0;
};

} // namespace Tarnwick
