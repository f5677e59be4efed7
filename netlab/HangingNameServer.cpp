// SPDX-License-Identifier: GPL-3.0-or-later
#include "HangingNameServer.h"

#include "NetworkSandbox.h"

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

HangingNameServer::~HangingNameServer()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

bool HangingNameServer::start(QString* whyNot)
{
    if (!NetworkSandbox::isActive()) {
        *whyNot = QStringLiteral("the name server needs the private network namespace first");
        return false;
    }
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    inet_pton(AF_INET, "127.0.0.53", &address.sin_addr);
    // Questions pile up in the socket unread: no answer ever leaves.
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *whyNot = QStringLiteral("could not listen on 127.0.0.53:53");
        return false;
    }
    if (!m_resolvConf.open() || m_resolvConf.write("nameserver 127.0.0.53\noptions timeout:5 attempts:3\n") < 0
        || !m_resolvConf.flush()) {
        *whyNot = QStringLiteral("could not write a resolv.conf");
        return false;
    }
    m_resolvConfPath = QFile::encodeName(m_resolvConf.fileName());
    return true;
}

bool HangingNameServer::questionSeen(int ms) const
{
    pollfd ready{m_socket, POLLIN, 0};
    return m_socket >= 0 && ::poll(&ready, 1, ms) > 0;
}

void HangingNameServer::forgetQuestions() const
{
    char question[512];
    while (m_socket >= 0 && ::recv(m_socket, question, sizeof question, MSG_DONTWAIT) > 0) { }
}

void HangingNameServer::enterInChild() const
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount(m_resolvConfPath.constData(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
        ::_exit(4);
}
