// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "alert/AlertCommand.h"
#include "alert/AlertOutboxThread.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

namespace Tarnwick {

class DesktopNotifier;
class Settings;
struct Announcement;

// How long the command may run, how the outbox waits between attempts, and the Apprise
// program: the usual ones by default, short ones in tests.
struct AlertLimits
{
    std::chrono::milliseconds command = AlertCommand::DefaultTimeLimit;
    AlertOutbox::Backoff backoff = {};
    QString appriseProgram = QStringLiteral("apprise");
};

// Carries the announcer's messages (what makes a balloon) out of the program: through the outbox
// to the user's command, the webhook and Apprise, and to the desktop's notification service where
// one is given. The channels follow the settings as they change; the outbox file is opened only
// once one of them is set. A channel whose setting cannot be read keeps its alerts until it can.
class AlertDispatcher : public QObject
{
    Q_OBJECT

public:
    using Log = std::function<void(const QString& line)>;
    AlertDispatcher(const Settings& settings, const QString& outboxFile, Log log, AlertLimits limits = {},
                    QObject* parent = nullptr);
    ~AlertDispatcher() override;

    // Alerts go to this notifier too (where the tray cannot show balloons); none: they do not.
    void setNotifier(DesktopNotifier* notifier);
    // The announcement as the channels see it (without an id: dispatch gives one). Messages about the same device in
    // the same state share a group key, so that a group that grows updates its notification.
    static Alert alertOf(const Announcement& announcement);
    // Sends the alert on every channel, under an id of its own where it has none.
    void dispatch(Alert alert);
    // The run ends: deliveries under way may finish for a short while (AlertOutbox::finishSending).
    void finishSending();

public slots:
    void announced(const Tarnwick::Announcement& announcement);

private:
    void followChannels();
    // Follows the settings on the next turn, and at once when an alert comes first.
    void followChannelsSoon();
    void followPendingChannels();
    // Logs a channel's setting that became unreadable (why) or readable again (empty).
    void tellRefusal(const QString& channel, const QString& refusal);

    const Settings& m_settings;
    const QString m_outboxFile;
    const Log m_log;
    const AlertLimits m_limits;
    std::unique_ptr<AlertOutboxThread> m_outbox;
    QHash<QString, QString> m_refusals; // by channel, as last told
    bool m_channelsChanged = false;
    QPointer<DesktopNotifier> m_notifier;
};

} // namespace Tarnwick
