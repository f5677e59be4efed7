// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/AlertChannel.h"

#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

namespace Tarnwick {

// Posts each alert as a JSON object (title, text, address, description, state, behind, time,
// kind, id; the id again as the header Idempotency-Key) to the user's URL ("Post alerts to"). Only a 2xx answer of that
// URL is a delivery: a redirect is not followed, but told with where it points.
class WebhookChannel : public AlertChannel
{
public:
    static constexpr std::chrono::milliseconds DefaultTimeLimit{30000};
    // The most of an answer's body read before the transfer is ended (the status came first).
    static constexpr qint64 MaxReplyBytes = 64 * 1024;

    explicit WebhookChannel(const QUrl& url, std::chrono::milliseconds timeLimit = DefaultTimeLimit,
                            QObject* parent = nullptr);

    // The URL the user typed, when it is one that can be posted to (http or https); an empty
    // URL otherwise.
    static QUrl postableUrl(const QString& text);

    // The channel's name, as the outbox keeps it with each waiting alert.
    static inline const QString Name = QStringLiteral("webhook");
    QString name() const override;
    void send(const Alert& alert) override;

private:
    // The URL without what may be secret in it (user, path, query), for the log.
    QString where() const;
    // Tells what the answer means, once per reply.
    void answered(QNetworkReply* reply);

    const QUrl m_url;
    const std::chrono::milliseconds m_timeLimit;
    QNetworkAccessManager* m_network;
};

} // namespace Tarnwick
