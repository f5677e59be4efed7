// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessSignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Tarnwick {

int ProcessSignalWatcher::s_fds[2] = {-1, -1};

namespace {

constexpr int WatchedSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGUSR1};

// The signals whose handlers were installed here, so that only those are put back.
sigset_t s_installed;
volatile sig_atomic_t s_terminationPending = 0;
volatile sig_atomic_t s_hangupReloads = 0;

void installHandler(int sig, void (*handler)(int))
{
    struct sigaction previous = {};
    ::sigaction(sig, nullptr, &previous);
    // Whoever started us asked for this signal to be ignored (nohup, "cmd &" in a shell
    // without job control): so be it.
    if (previous.sa_handler == SIG_IGN)
        return;
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(sig, &action, nullptr);
    sigaddset(&s_installed, sig);
}

} // namespace

void ProcessSignalWatcher::holdHangUps(int, char**, char**)
{
    sigset_t hangUp;
    sigemptyset(&hangUp);
    sigaddset(&hangUp, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &hangUp, nullptr);
}

void ProcessSignalWatcher::releaseHangUps()
{
    sigset_t hangUp;
    sigemptyset(&hangUp);
    sigaddset(&hangUp, SIGHUP);
    ::sigprocmask(SIG_UNBLOCK, &hangUp, nullptr);
}

void ProcessSignalWatcher::installHandlers(Hangup hangup)
{
    if (s_fds[0] < 0) {
        s_hangupReloads = hangup == Hangup::Reloads;
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, s_fds) == 0) {
            sigemptyset(&s_installed);
            for (int sig : WatchedSignals)
                installHandler(sig, &ProcessSignalWatcher::handleSignal);
        }
    }
    // A hang-up held back since the start reaches its handler now.
    releaseHangUps();
}

ProcessSignalWatcher::ProcessSignalWatcher(QObject* parent)
    : QObject(parent)
{
    installHandlers();
    if (s_fds[1] < 0)
        return;
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ProcessSignalWatcher::readSignals);
}

ProcessSignalWatcher::~ProcessSignalWatcher()
{
    if (s_fds[0] < 0)
        return;
    // The program is on its way out: a signal now finds nothing to tell, and must not end the
    // process with a status of its own while it ends well.
    for (int sig : WatchedSignals) {
        if (sigismember(&s_installed, sig))
            ::signal(sig, SIG_IGN);
    }
    delete m_notifier;
    ::close(s_fds[0]);
    ::close(s_fds[1]);
    s_fds[0] = s_fds[1] = -1;
}

bool ProcessSignalWatcher::terminationPending()
{
    return s_terminationPending != 0;
}

void ProcessSignalWatcher::handleSignal(int signalNumber)
{
    if (signalNumber != SIGUSR1 && !(signalNumber == SIGHUP && s_hangupReloads))
        s_terminationPending = 1;
    const char byte = static_cast<char>(signalNumber);
    // Only async-signal-safe calls here; when the socket is full a repeat is simply dropped.
    const ssize_t written = ::write(s_fds[0], &byte, 1);
    (void)written;
}

void ProcessSignalWatcher::readSignals()
{
    char buffer[16];
    bool quit = false;
    bool show = false;
    bool reload = false;
    for (ssize_t n; (n = ::read(s_fds[1], buffer, sizeof buffer)) > 0;) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == SIGUSR1)
                show = true;
            else if (buffer[i] == SIGHUP && s_hangupReloads)
                reload = true;
            else
                quit = true;
        }
    }
    if (show)
        emit showWindowRequested();
    // Several hang-ups while the loop was busy read the files once.
    if (reload && !quit)
        emit reloadRequested();
    if (quit)
        emit terminationRequested();
}

} // namespace Tarnwick
