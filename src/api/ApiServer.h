// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ApiRequest.h"
#include "ApiResponse.h"
#include "metrics/MetricsAddress.h"
#include "metrics/ServerDoor.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

struct mg_connection;
struct mg_context;

namespace Tarnwick {

// Serves the API over HTTP/1.1 at one address, on threads of its own: it reads each request
// (its body bounded), lets through only those that carry the token, and hands them to a handler
// that runs on the thread of a context object (the store's), one at a time, while the server's
// thread waits for the answer. Clients that connect and send nothing, or drip their request,
// hold a thread for at most the request time-out; at most `threads` requests wait on the
// context's thread at once, however many clients come.
class ApiServer
{
public:
    using Handler = std::function<ApiResponse(const ApiRequest& request)>;

    struct Limits
    {
        int threads = 8;
        int requestTimeoutMs = 5000;
        qsizetype maxBodyBytes = 64 * 1024;
    };

    ApiServer(QObject* context, QByteArray token, Handler handler);
    ApiServer(QObject* context, QByteArray token, Handler handler, Limits limits);
    ~ApiServer();
    ApiServer(const ApiServer&) = delete;
    ApiServer& operator=(const ApiServer&) = delete;

    // False, with the reason in error, when the address cannot be listened on.
    bool listen(const MetricsAddress& address, QString* error);
    int port() const;

private:
    // What the server's threads and the answers they wait for share; it outlives the server for
    // an answer still queued on the context's thread as the server stops.
    struct Waiting
    {
        std::mutex mutex;
        std::condition_variable answered;
        bool stopping = false;
    };

    static int handle(mg_connection* connection, void* self);
    ApiResponse answer(mg_connection* connection);
    ApiResponse askContext(ApiRequest request);
    bool authorised(const char* header) const;
    void stop();

    QPointer<QObject> m_context;
    QByteArray m_token;
    Handler m_handler;
    Limits m_limits;
    std::shared_ptr<Waiting> m_waiting = std::make_shared<Waiting>();
    mg_context* m_server = nullptr;
    ServerDoor m_door;
    int m_port = 0;
};

} // namespace Tarnwick
