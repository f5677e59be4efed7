// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace Tarnwick {

// Turns the process signals that concern the program into Qt signals on the GUI thread:
// SIGTERM and SIGINT ask it to quit, SIGHUP to quit or, for the monitor without a window, to
// read its files again, SIGUSR1 (sent by a second start in the same folder) to show its window. The handlers are
// installed first thing at start-up and only write a byte into a socket pair; a signal that arrives before the event
// loop runs waits there until the watcher picks it up. A signal that was ignored when the program started (nohup, a
// background job) stays ignored.
class ProcessSignalWatcher : public QObject
{
    Q_OBJECT

public:
    // What SIGHUP asks of the program.
    enum class Hangup { Quits, Reloads };

    // Holds SIGHUP back until installHandlers (or releaseHangUps) lets it through, so that a
    // reload asked for while the program starts is delivered once it can reload rather than
    // ending it. Each program's main puts it into ".preinit_array",
    // which runs before the libraries' own start-up code, the tens of milliseconds it takes.
    static void holdHangUps(int = 0, char** = nullptr, char** = nullptr);
    // Lets a held SIGHUP through with whatever handles it now (a tool that reloads nothing ends).
    static void releaseHangUps();
    static void installHandlers(Hangup hangup = Hangup::Quits);
    // Whether a signal asked the program to quit since the handlers were installed: start-up
    // looks before it builds what it would only have to take down again.
    static bool terminationPending();

    explicit ProcessSignalWatcher(QObject* parent = nullptr);
    ~ProcessSignalWatcher() override;

signals:
    void terminationRequested();
    void showWindowRequested();
    void reloadRequested();

private:
    void readSignals();
    static void handleSignal(int signalNumber);

    QSocketNotifier* m_notifier = nullptr;
    static int s_fds[2];
};

} // namespace Tarnwick
