// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// An HTTP server on loopback that answers each request in turn with the next status of its
// list (the last one for ever after), and keeps what was posted.
class TestHttpServer : public QObject
{
public:
    explicit TestHttpServer(QList<int> statuses)
        : answers(std::move(statuses))
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }

    QList<int> answers;
    // Added to each answer's headers, such as "Location: http://...".
    QByteArray headers;
    // Each answer's body comes without end, this much at a time, until the client lets go.
    bool endless = false;
    int requests = 0;
    QList<QByteArray> keys; // each request's Idempotency-Key header
    QList<QByteArray> accepted; // the bodies answered with 200

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        qsizetype length = 0;
        QByteArray key;
        for (const QByteArray& line : buffer.left(headerEnd).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
            if (line.toLower().startsWith("idempotency-key:"))
                key = line.mid(16).trimmed();
        }
        if (buffer.size() < headerEnd + 4 + length)
            return;
        const int status = answers.value(requests, answers.last());
        ++requests;
        keys << key;
        if (status == 200)
            accepted << buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);
        socket->write(QStringLiteral("HTTP/1.1 %1 %2\r\nContent-Length: %3\r\nConnection: close\r\n")
                          .arg(status)
                          .arg(status == 200 ? "OK" : "Service Unavailable")
                          .arg(endless ? "1000000000000" : "0")
                          .toLatin1()
                      + headers + "\r\n");
        if (!endless) {
            socket->disconnectFromHost();
            return;
        }
        const QByteArray block(16384, 'x');
        socket->write(block);
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket, block] {
            if (socket->bytesToWrite() < block.size())
                socket->write(block);
        });
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};
