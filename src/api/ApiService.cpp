// SPDX-License-Identifier: GPL-3.0-or-later
#include "ApiService.h"

#include "ApiServer.h"
#include "ApiToken.h"
#include "data/Data.h"
#include "metrics/MetricsAddress.h"
#include "monitor/MonitorCore.h"

#include <QFile>

namespace Tarnwick {

namespace {

const QString Root = QStringLiteral("/api/v1");

QByteArray openApiDocument()
{
    QFile document(QStringLiteral(":/api/openapi.json"));
    return document.open(QIODevice::ReadOnly) ? document.readAll() : QByteArray();
}

// The rest of the path after "<collection>/", or empty for the collection itself; none when
// the path is not under it.
std::optional<QString> below(const QString& path, const QString& collection)
{
    const QString base = Root + collection;
    if (path == base || path == base + QLatin1Char('/'))
        return QString();
    if (path.startsWith(base + QLatin1Char('/')))
        return path.mid(base.size() + 1);
    return std::nullopt;
}

} // namespace

ApiService::ApiService(MonitorCore& core, QString tokenFile, Report report, QObject* parent)
    : QObject(parent)
    , m_core(core)
    , m_tokenFile(std::move(tokenFile))
    , m_report(std::move(report))
    , m_since(core.data(), core.historyFile())
    , m_devices(core, m_since, m_report)
    , m_mutes(core.mutes(), core.data())
    , m_maintenance(core.maintenance(), core.data())
{
}

ApiService::~ApiService() = default;

void ApiService::serve(const QString& address)
{
    const MetricsAddress parsed = MetricsAddress::parse(address, QStringLiteral("the API"));
    if (!parsed.error.isEmpty()) {
        m_server.reset();
        m_report(QStringLiteral("The API is not served: %1").arg(parsed.error));
        return;
    }
    serveAt(parsed);
}

void ApiService::serveAt(const MetricsAddress& parsed)
{
    const bool served = m_server != nullptr;
    m_server.reset();
    if (!parsed.enabled()) {
        if (served)
            m_report(QStringLiteral("The API is no longer served."));
        return;
    }
    QString problem;
    QString warning;
    const QByteArray token = ApiToken::readOrMake(m_tokenFile, &problem, &warning);
    if (!warning.isEmpty())
        m_report(warning);
    if (token.isEmpty()) {
        m_report(QStringLiteral("The API is not served: its token cannot be had (%1).").arg(problem));
        return;
    }
    auto server = std::make_unique<ApiServer>(this, token,
                                              [this](const ApiRequest& request) { return answer(request); });
    if (!server->listen(parsed, &problem)) {
        m_report(QStringLiteral("The API cannot be served at %1: %2").arg(parsed.listen, problem));
        return;
    }
    m_server = std::move(server);
    m_report(QStringLiteral("The API is served at http://%1%2/ (its token is in \"%3\").")
                 .arg(parsed.listen.left(parsed.listen.lastIndexOf(QLatin1Char(':')) + 1)
                          + QString::number(m_server->port()),
                      Root, m_tokenFile));
}

void ApiService::stop()
{
    m_server.reset();
}

int ApiService::port() const
{
    return m_server ? m_server->port() : 0;
}

ApiResponse ApiService::answer(const ApiRequest& request)
{
    if (request.path == Root + QStringLiteral("/openapi.json")) {
        if (request.method != "GET")
            return ApiResponse::error(405, QStringLiteral("Use GET."));
        return {200, openApiDocument(), {}};
    }
    if (const std::optional<QString> rest = below(request.path, QStringLiteral("/devices"))) {
        const QString probeSuffix = QStringLiteral("/probe");
        const bool probe = rest->endsWith(probeSuffix);
        return m_devices.handle(request.method, probe ? rest->chopped(probeSuffix.size()) : *rest, probe, request.body);
    }
    if (const std::optional<QString> rest = below(request.path, QStringLiteral("/mutes")))
        return m_mutes.handle(request.method, *rest, request.body);
    if (const std::optional<QString> rest = below(request.path, QStringLiteral("/maintenance")))
        return m_maintenance.handle(request.method, *rest, request.body);
    return ApiResponse::error(404, QStringLiteral("No such resource: %1").arg(request.path));
}

} // namespace Tarnwick
