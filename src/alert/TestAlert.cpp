// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestAlert.h"

#include "AlertCommand.h"
#include "AppriseChannel.h"
#include "WebhookChannel.h"
#include "data/PhraseBook.h"

#include <QHostInfo>

#include <memory>

namespace Tarnwick {

Alert TestAlert::sample()
{
    Alert alert;
    alert.title = QStringLiteral("Tarnwick");
    alert.text = QStringLiteral("Test alert");
    // About no device: a receiver that sorts by address or state finds none to act on.
    alert.description = QHostInfo::localHostName();
    alert.kind = Alert::Kinds::Test;
    alert.time = QDateTime::currentDateTimeUtc();
    alert.groupKey = QStringLiteral("test");
    return alert;
}

TestAlert::TestAlert(Channels channels, QObject* parent)
    : QObject(parent)
    , m_channels(std::move(channels))
{
}

void TestAlert::send(Alert alert)
{
    alert.id = Alert::newId();
    // Everything that will answer is counted before anything starts: a channel may answer
    // within its start.
    const QString commandLine = m_channels.command.trimmed();
    const QString refusedCommand = AlertCommand::refusal(commandLine);
    if (!refusedCommand.isEmpty())
        emit reported(refusedCommand);
    const QUrl url = WebhookChannel::postableUrl(m_channels.webhookUrl);
    if (!m_channels.webhookUrl.trimmed().isEmpty() && url.isEmpty())
        emit reported(QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "\"Post alerts to\" takes an http or https URL.")));
    QList<AlertChannel*> channels;
    // A command that runs well says nothing; then a line of ours tells that it ran.
    auto said = std::make_shared<bool>(false);
    if (!commandLine.isEmpty() && refusedCommand.isEmpty())
        channels << new AlertCommand(
            commandLine,
            [this, said](const QString& line) {
                *said = true;
                emit reported(line);
            },
            AlertCommand::DefaultTimeLimit, this);
    if (!url.isEmpty())
        channels << new WebhookChannel(url, WebhookChannel::DefaultTimeLimit, this);
    if (const QString refused = AppriseChannel::refusal(m_channels.appriseUrls); !refused.isEmpty())
        emit reported(refused);
    else if (!m_channels.appriseUrls.trimmed().isEmpty())
        channels << new AppriseChannel(m_channels.appriseUrls, AppriseChannel::DefaultTimeLimit,
                                       m_channels.appriseProgram, this);
    m_pending = int(channels.size());
    if (m_pending == 0) {
        if (commandLine.isEmpty() && m_channels.webhookUrl.trimmed().isEmpty()
            && m_channels.appriseUrls.trimmed().isEmpty())
            emit reported(QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "No alert channel is set.")));
        emit finished();
        deleteLater();
        return;
    }
    for (AlertChannel* channel : channels) {
        const QString name = channel->name();
        connect(channel, &AlertChannel::delivered, this, [this, name, said, commandLine] {
            if (name == AlertCommand::Name) {
                if (!*said)
                    emit reported(PhraseBook::english(PhraseBook::CommandRan, {commandLine}));
            } else {
                emit reported(name == WebhookChannel::Name
                                  ? QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "The webhook took the test alert."))
                                  : QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "Apprise took the test alert.")));
            }
            oneEnded();
        });
        connect(channel, &AlertChannel::failed, this, [this](const QString& why) {
            emit reported(why);
            oneEnded();
        });
        channel->send(alert);
    }
}

void TestAlert::oneEnded()
{
    if (--m_pending > 0)
        return;
    emit finished();
    deleteLater();
}

} // namespace Tarnwick
