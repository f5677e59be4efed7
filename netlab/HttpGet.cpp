// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpGet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

QByteArray httpGet(int port, const char* path, const QByteArray& headers, QByteArray* head)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray reply;
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const QByteArray request = QByteArray("GET ") + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
        if (::write(socket, request.constData(), size_t(request.size())) == request.size()) {
            pollfd wait{socket, POLLIN, 0};
            char buffer[65536];
            ssize_t got = 0;
            while (::poll(&wait, 1, 5000) == 1 && (got = ::read(socket, buffer, sizeof buffer)) > 0)
                reply.append(buffer, got);
        }
    }
    ::close(socket);
    const qsizetype bodyAt = reply.indexOf("\r\n\r\n");
    if (head)
        *head = reply.left(bodyAt);
    return reply.startsWith("HTTP/1.1 200") && bodyAt >= 0 ? reply.mid(bodyAt + 4) : QByteArray();
}
