// SPDX-License-Identifier: GPL-3.0-or-later
#include "EchoRequestWatch.h"

#include <QElapsedTimer>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

EchoRequestWatch::EchoRequestWatch()
    : m_socket(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP))
{
}

EchoRequestWatch::~EchoRequestWatch()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

void EchoRequestWatch::forget()
{
    unsigned char buffer[1500];
    while (m_socket >= 0 && ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT) > 0) { }
}

bool EchoRequestWatch::seen(int ms)
{
    QElapsedTimer timer;
    timer.start();
    unsigned char buffer[1500];
    while (m_socket >= 0 && timer.elapsed() < ms) {
        pollfd ready{m_socket, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0)
            continue;
        const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (n > 20 && buffer[(buffer[0] & 0x0F) * 4] == 8)
            return true;
    }
    return false;
}
