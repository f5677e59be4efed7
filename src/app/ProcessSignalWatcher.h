#pragma once

#include <QObject>

class QSocketNotifier;

namespace Tarnwick {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread. The handlers are
// installed first thing at start-up and only write a byte into a socket pair; a signal that
// arrives before the event loop runs waits there until the watcher picks it up.
class TerminationSignalWatcher : public QObject
{
    Q_OBJECT

public:
    static void installHandlers();

    explicit TerminationSignalWatcher(QObject* parent = nullptr);
    ~TerminationSignalWatcher() override;

signals:
    void terminationRequested();

private:
    void readSignal();
    static void handleSignal(int signalNumber);

    QSocketNotifier* m_notifier = nullptr;
    static int s_fds[2];
};

} // namespace Tarnwick
