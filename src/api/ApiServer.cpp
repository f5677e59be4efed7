// SPDX-License-Identifier: GPL-3.0-or-later
#include "ApiServer.h"

#include "metrics/CivetwebStart.h"

#include <QMetaObject>
#include <QUrl>

#include <civetweb.h>

#include <cstring>
#include <string>
#include <strings.h>

namespace Tarnwick {

namespace {

void send(mg_connection* connection, const ApiResponse& response)
{
    const QByteArray body = response.render ? response.render() : response.body;
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + ' '
        + mg_get_response_code_text(connection, response.status) + "\r\n";
    if (response.status != 204)
        head += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    if (response.status == 401)
        head += "WWW-Authenticate: Bearer\r\n";
    head += "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
    mg_write(connection, head.data(), head.size());
    const bool headOnly = std::strcmp(mg_get_request_info(connection)->request_method, "HEAD") == 0;
    if (response.status != 204 && !headOnly && !body.isEmpty())
        mg_write(connection, body.constData(), size_t(body.size()));
}

} // namespace

ApiServer::ApiServer(QObject* context, QByteArray token, Handler handler)
    : ApiServer(context, std::move(token), std::move(handler), Limits{})
{
}

ApiServer::ApiServer(QObject* context, QByteArray token, Handler handler, Limits limits)
    : m_context(context)
    , m_token(std::move(token))
    , m_handler(std::move(handler))
    , m_limits(limits)
{
    mg_init_library(0);
}

ApiServer::~ApiServer()
{
    stop();
    mg_exit_library();
}

void ApiServer::stop()
{
    if (!m_server)
        return;
    {
        // Requests that wait for the context's thread are answered at once: it may be this one.
        const std::lock_guard lock(m_waiting->mutex);
        m_waiting->stopping = true;
        m_waiting->answered.notify_all();
    }
    m_door.stopWhileKnocking([this] { mg_stop(m_server); });
    m_server = nullptr;
    m_port = 0;
}

bool ApiServer::listen(const MetricsAddress& address, QString* error)
{
    stop();
    m_waiting = std::make_shared<Waiting>();
    m_server = CivetwebStart::start(address, m_limits.threads, m_limits.requestTimeoutMs, &m_port, error);
    if (!m_server)
        return false;
    mg_set_request_handler(m_server, "/", &ApiServer::handle, this);
    m_door = ServerDoor(address.listen, m_port);
    return true;
}

int ApiServer::port() const
{
    return m_port;
}

int ApiServer::handle(mg_connection* connection, void* self)
{
    const ApiResponse response = static_cast<ApiServer*>(self)->answer(connection);
    send(connection, response);
    return response.status;
}

ApiResponse ApiServer::answer(mg_connection* connection)
{
    // Nothing but "unauthorised" for a request without the token: not even whether the path
    // exists.
    if (!authorised(mg_get_header(connection, "Authorization")))
        return ApiResponse::error(401, QStringLiteral("Unauthorised."));
    const mg_request_info* info = mg_get_request_info(connection);
    const QString tooLarge
        = QStringLiteral("The request body is larger than %1 KiB.").arg(m_limits.maxBodyBytes / 1024);
    if (info->content_length > m_limits.maxBodyBytes)
        return ApiResponse::error(413, tooLarge);
    ApiRequest request;
    request.method = info->request_method;
    // Civetweb has decoded the path: "%25" in an address's zone is "%" here.
    request.path = QString::fromUtf8(info->local_uri ? info->local_uri : "");
    // One byte beyond the limit tells a body of unknown length that is too long.
    QByteArray body(m_limits.maxBodyBytes + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < body.size()) {
        const int read = mg_read(connection, body.data() + got, size_t(body.size() - got));
        if (read <= 0)
            break;
        got += read;
    }
    if (got > m_limits.maxBodyBytes)
        return ApiResponse::error(413, tooLarge);
    // A body cut short is no request: nothing of it is carried out.
    if (info->content_length >= 0 && got < info->content_length)
        return ApiResponse::error(400, QStringLiteral("The body ended before its Content-Length."));
    body.truncate(got);
    request.body = body;
    return askContext(std::move(request));
}

ApiResponse ApiServer::askContext(ApiRequest request)
{
    struct Answer
    {
        bool given = false;
        ApiResponse response;
    };
    auto answer = std::make_shared<Answer>();
    const std::shared_ptr<Waiting> waiting = m_waiting;
    const bool queued = m_context
        && QMetaObject::invokeMethod(
                            m_context.data(),
                            [answer, waiting, handler = m_handler, request = std::move(request)] {
                                ApiResponse response = handler(request);
                                const std::lock_guard lock(waiting->mutex);
                                answer->response = std::move(response);
                                answer->given = true;
                                waiting->answered.notify_all();
                            },
                            Qt::QueuedConnection);
    std::unique_lock lock(waiting->mutex);
    if (queued)
        waiting->answered.wait(lock, [&] { return answer->given || waiting->stopping; });
    if (!answer->given)
        return ApiResponse::error(503, QStringLiteral("Tarnwick is stopping."));
    return std::move(answer->response);
}

bool ApiServer::authorised(const char* header) const
{
    // The scheme's name is read in any case, as HTTP reads it.
    static constexpr char Scheme[] = "bearer ";
    if (!header || ::strncasecmp(header, Scheme, sizeof Scheme - 1) != 0)
        return false;
    const QByteArray given = QByteArray(header + sizeof Scheme - 1).trimmed();
    // Compared in a time that tells nothing of how much of it was right.
    unsigned char difference = given.size() == m_token.size() ? 0 : 1;
    for (qsizetype i = 0; i < m_token.size(); ++i)
        difference |= static_cast<unsigned char>(m_token.at(i) ^ (i < given.size() ? given.at(i) : 0));
    return difference == 0 && !m_token.isEmpty();
}

} // namespace Tarnwick
