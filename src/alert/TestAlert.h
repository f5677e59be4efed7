// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/Alert.h"

#include <QObject>

namespace Tarnwick {

// One alert sent straight through the channels as the user has typed them (command, webhook,
// Apprise), once and without the outbox, so that the user sees at once what becomes of it on
// each. Deletes itself once every channel has answered.
class TestAlert : public QObject
{
    Q_OBJECT

public:
    struct Channels
    {
        QString command;
        QString webhookUrl;
        QString appriseUrls;
        QString appriseProgram = QStringLiteral("apprise");
    };

    // Title "Tarnwick", text "Test alert", this computer as the device.
    static Alert sample();

    explicit TestAlert(Channels channels, QObject* parent = nullptr);
    // Starts sending: each channel's outcome comes in reported(), then finished(). Nothing is
    // set: one line says so. The alert gets an id of its own, as every alert does.
    void send(Alert alert);

signals:
    void reported(const QString& line);
    void finished();

private:
    void oneEnded();

    const Channels m_channels;
    int m_pending = 0;
};

} // namespace Tarnwick
