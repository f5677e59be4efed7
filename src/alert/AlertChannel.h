// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/Alert.h"

#include <QObject>

namespace Tarnwick {

// A way out of the program that can fail and be tried again (a webhook, Apprise). The outbox
// gives a channel one alert at a time and waits for its answer.
class AlertChannel : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The channel's name as the outbox keeps it with each waiting alert ("webhook", "apprise").
    virtual QString name() const = 0;
    // Starts sending; ends in exactly one of delivered() or failed().
    virtual void send(const Alert& alert) = 0;
    // Whether an alert that waits is replaced by a later one of its group (a message that grew),
    // which then takes its turn at the end of the queue; otherwise each goes out.
    virtual bool takesLatestOfGroup() const { return false; }

signals:
    void delivered();
    // Why, in words that name the channel and say what the other side or the system said.
    void failed(const QString& why);
};

} // namespace Tarnwick
