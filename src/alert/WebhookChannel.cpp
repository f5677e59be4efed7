// SPDX-License-Identifier: GPL-3.0-or-later
#include "alert/WebhookChannel.h"

#include "data/PhraseBook.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

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
    return Name;
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
    // The same on every attempt, so that a receiver can tell a retry from a new alert.
    if (!alert.id.isEmpty())
        request.setRawHeader("Idempotency-Key", alert.id.toUtf8());
    // A redirect is no delivery: followed, it would be a GET without the alert, to another
    // address, whose 200 would count as delivered.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_network->post(request, QJsonDocument(alert.toJson()).toJson(QJsonDocument::Compact));
    // Only the status counts: the body is let go as it comes, and one without end is cut off.
    reply->setReadBufferSize(MaxReplyBytes);
    auto read = std::make_shared<qint64>(0);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, read] {
        *read += reply->skip(reply->bytesAvailable());
        if (*read > MaxReplyBytes) {
            answered(reply);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { answered(reply); });
}

void WebhookChannel::answered(QNetworkReply* reply)
{
    // Once: a reply cut off finishes again as it is aborted.
    reply->disconnect(this);
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if ((reply->error() == QNetworkReply::NoError || reply->isRunning()) && status >= 200 && status < 300) {
        emit delivered();
        return;
    }
    // A server that failed may hold its connection open and feed it without end (a header that
    // never ends is read on by the network thread however the reply ends): a new manager lets go
    // of every connection of the old one.
    m_network->deleteLater();
    m_network = new QNetworkAccessManager(this);
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (status >= 300 && status < 400 && target.isEmpty()) {
        emit failed(PhraseBook::english(PhraseBook::WebhookNoTarget, {where(), QString::number(status)}));
    } else if (status >= 300 && status < 400) {
        emit failed(PhraseBook::english(PhraseBook::WebhookMoved,
                                        {where(), QString::number(status),
                                         m_url.resolved(target).adjusted(QUrl::RemoveUserInfo).toDisplayString()}));
    } else if (status != 0) {
        const QString phrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        // The status and its reason phrase, which some servers leave out, as one part.
        const QString answer = (QString::number(status) + u' ' + phrase).trimmed();
        emit failed(PhraseBook::english(PhraseBook::WebhookAnswered, {where(), answer}));
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        // Nothing else cancels a post: the transfer timeout ran out, the server silent.
        emit failed(PhraseBook::english(PhraseBook::WebhookTimedOut,
                                        {where(), QString::number(double(m_timeLimit.count()) / 1000.0)}));
    } else {
        emit failed(PhraseBook::english(PhraseBook::WebhookUnreachable, {where(), reply->errorString()}));
    }
}

} // namespace Tarnwick
