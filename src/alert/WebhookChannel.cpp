// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/WebhookChannel.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace Tarnwick {

WebhookChannel::WebhookChannel(const QUrl& url, std::chrono::milliseconds timeLimit, QObject* parent)
    : AlertChannel(parent)
    , m_url(url)
    , m_timeLimit(timeLimit)
    , m_network(new QNetworkAccessManager(this))
{
}

QUrl WebhookChannel::postableUrl(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
        return url;
    return {};
}

QString WebhookChannel::name() const
{
    return QStringLiteral("webhook");
}

QString WebhookChannel::where() const
{
    return m_url.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toDisplayString();
}

void WebhookChannel::send(const Alert& alert)
{
    QNetworkRequest request(m_url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(int(m_timeLimit.count()));
    QNetworkReply* reply = m_network->post(request, QJsonDocument(alert.toJson()).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
            emit delivered();
        } else if (status != 0) {
            const QString phrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            emit failed(
                tr("the webhook at %1 answered HTTP %2 %3").arg(where(), QString::number(status), phrase).trimmed());
        } else if (reply->error() == QNetworkReply::OperationCanceledError) {
            // Nothing else cancels a post: the transfer timeout ran out, the server silent.
            emit failed(tr("the webhook at %1 did not answer within %2 s")
                            .arg(where(), QString::number(double(m_timeLimit.count()) / 1000.0)));
        } else {
            emit failed(tr("the webhook at %1 cannot be reached: %2").arg(where(), reply->errorString()));
        }
    });
}

} // namespace Tarnwick
