// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace Tarnwick {

// Turns the process signals that concern the program into Qt signals on the GUI thread:
// SIGTERM, SIGINT and SIGHUP ask it to quit, SIGUSR1 (sent by a second start in the same
// folder) to show its window. The handlers are installed first thing at start-up and only
// write a byte into a socket pair; a signal that arrives before the event loop runs waits
// there until the watcher picks it up. A signal that was ignored when the program started
// (nohup, a background job) stays ignored.
class ProcessSignalWatcher : public QObject
{
    Q_OBJECT

public:
    static void installHandlers();
    // Whether a signal asked the program to quit since the handlers were installed: start-up
    // looks before it builds what it would only have to take down again.
    static bool terminationPending();

    explicit ProcessSignalWatcher(QObject* parent = nullptr);
    ~ProcessSignalWatcher() override;

signals:
    void terminationRequested();
    void showWindowRequested();

private:
    void readSignals();
    static void handleSignal(int signalNumber);

    QSocketNotifier* m_notifier = nullptr;
    static int s_fds[2];
};

} // namespace Tarnwick
