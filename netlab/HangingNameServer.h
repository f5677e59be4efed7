// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

// A name server that takes every question and never answers, as a broken one on a LAN does.
// It listens on 127.0.0.53 inside the caller's private network namespace (NetworkSandbox);
// a program started with enterInChild() as its child setup looks its names up there. Needs
// root.
class HangingNameServer
{
public:
    HangingNameServer() = default;
    ~HangingNameServer();
    HangingNameServer(const HangingNameServer&) = delete;
    HangingNameServer& operator=(const HangingNameServer&) = delete;

    bool start(QString* whyNot);
    // True once a question comes in, within ms; questions asked before are forgotten.
    bool questionSeen(int ms) const;
    // Forgets the questions asked so far.
    void forgetQuestions() const;

    // Runs in a child between fork and exec: gives the child a mount namespace of its own in
    // which the resolv.conf names this server. Only system calls, as the moment requires.
    void enterInChild() const;

private:
    int m_socket = -1;
    QTemporaryFile m_resolvConf;
    QByteArray m_resolvConfPath;
};
