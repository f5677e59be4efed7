#include "TerminationSignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

int TerminationSignalWatcher::s_fds[2] = {-1, -1};

namespace {

constexpr int WatchedSignals[] = {SIGTERM, SIGINT, SIGHUP};

void setHandlers(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : WatchedSignals)
        ::sigaction(sig, &action, nullptr);
}

} // namespace

void TerminationSignalWatcher::installHandlers()
{
    if (s_fds[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, s_fds) != 0)
        return;
    setHandlers(&TerminationSignalWatcher::handleSignal);
}

TerminationSignalWatcher::TerminationSignalWatcher(QObject* parent)
    : QObject(parent)
{
    installHandlers();
    if (s_fds[1] < 0)
        return;
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignalWatcher::readSignal);
}

TerminationSignalWatcher::~TerminationSignalWatcher()
{
    if (s_fds[0] < 0)
        return;
    setHandlers(SIG_DFL);
    delete m_notifier;
    ::close(s_fds[0]);
    ::close(s_fds[1]);
    s_fds[0] = s_fds[1] = -1;
}

void TerminationSignalWatcher::handleSignal(int signalNumber)
{
    const char byte = static_cast<char>(signalNumber);
    // Only async-signal-safe calls here; when the socket is full a repeat is simply dropped.
    const ssize_t written = ::write(s_fds[0], &byte, 1);
    (void)written;
}

void TerminationSignalWatcher::readSignal()
{
    char buffer[16];
    while (::read(s_fds[1], buffer, sizeof buffer) > 0) { }
    emit terminationRequested();
}

} // namespace Tarnwick
