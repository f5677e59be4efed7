// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/AlertChannel.h"

#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

namespace Tarnwick {

// Posts each alert as a JSON object (title, text, address, description, state, behind, time)
// to the user's URL ("Post alerts to"). Only a 2xx answer is a delivery.
class WebhookChannel : public AlertChannel
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultTimeLimit{30000};

    explicit WebhookChannel(const QUrl& url, std::chrono::milliseconds timeLimit = DefaultTimeLimit,
                            QObject* parent = nullptr);

    // The URL the user typed, when it is one that can be posted to (http or https); an empty
    // URL otherwise.
    static QUrl postableUrl(const QString& text);

    QString name() const override;
    void send(const Alert& alert) override;

private:
    // The URL without what may be secret in it (user, path, query), for the log.
    QString where() const;

    const QUrl m_url;
    const std::chrono::milliseconds m_timeLimit;
    QNetworkAccessManager* m_network;
};

} // namespace Tarnwick
