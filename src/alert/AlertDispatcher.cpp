// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlertDispatcher.h"

#include "AppriseChannel.h"
#include "DesktopNotifier.h"
#include "WebhookChannel.h"
#include "data/Announcement.h"
#include "data/PhraseBook.h"
#include "data/Settings.h"

#include <QTimer>

namespace Tarnwick {

AlertDispatcher::AlertDispatcher(const Settings& settings, const QString& outboxFile, Log log, AlertLimits limits,
                                 QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_outboxFile(outboxFile)
    , m_log(std::move(log))
    , m_limits(std::move(limits))
{
    followChannels();
    settings.onChange(&Settings::alertCommand, this, [this] { followChannelsSoon(); });
    settings.onChange(&Settings::webhookUrl, this, [this] { followChannelsSoon(); });
    settings.onChange(&Settings::appriseUrls, this, [this] { followChannelsSoon(); });
}

AlertDispatcher::~AlertDispatcher() = default;

void AlertDispatcher::setNotifier(DesktopNotifier* notifier)
{
    m_notifier = notifier;
}

Alert AlertDispatcher::alertOf(const Announcement& announcement)
{
    const auto stateOf = [](bool connected) {
        return connected ? QStringLiteral("connected") : QStringLiteral("disconnected");
    };
    Alert alert;
    alert.id = announcement.id;
    alert.title = announcement.title;
    alert.text = announcement.text;
    alert.address = announcement.devices.value(0);
    alert.description = announcement.description;
    alert.state = stateOf(announcement.connected);
    alert.behind = announcement.behind;
    alert.time = announcement.time.isValid() ? announcement.time.toUTC() : QDateTime::currentDateTimeUtc();
    for (const Announcement::Device& device : announcement.each)
        alert.devices.append({device.address, device.description, stateOf(device.connected)});
    if (announcement.whileAway && !announcement.each.isEmpty()) {
        // Devices that changed each on their own: no one of them stands for the others, and the
        // state is what holds for all of them.
        alert.address.clear();
        alert.description.clear();
        alert.state = alert.devices.first().state;
        for (const Alert::Device& device : std::as_const(alert.devices)) {
            if (device.state != alert.state)
                alert.state = QStringLiteral("mixed");
        }
    }
    switch (announcement.kind) {
    case Announcement::Kind::State:
        alert.kind = alert.state == QLatin1String("connected") ? Alert::Kinds::Up : Alert::Kinds::Down;
        break;
    case Announcement::Kind::Slow:
        alert.kind = Alert::Kinds::Slow;
        break;
    case Announcement::Kind::NoLongerSlow:
        alert.kind = Alert::Kinds::NoLongerSlow;
        break;
    case Announcement::Kind::NewDevice:
        alert.kind = Alert::Kinds::NewDevice;
        break;
    case Announcement::Kind::HardwareChanged:
        alert.kind = Alert::Kinds::HardwareChanged;
        break;
    case Announcement::Kind::AnswersForMany:
        alert.kind = Alert::Kinds::AnswersForMany;
        break;
    case Announcement::Kind::NetworkWatched:
        alert.kind = Alert::Kinds::NetworkWatched;
        break;
    case Announcement::Kind::PathChanged:
        alert.kind = Alert::Kinds::PathChanged;
        break;
    }
    // The network watch tells of hardware, the path watch of a way: neither of a device's state.
    if (announcement.kind >= Announcement::Kind::NewDevice)
        alert.state.clear();
    // A notification shown replaces the one of the same device and kind (a group that grows).
    alert.groupKey = Alert::groupKeyOf(alert.address, alert.kind);
    return alert;
}

void AlertDispatcher::announced(const Announcement& announcement)
{
    // Log lines (a change of state, a device turning slow) stay in the log; messages go out.
    if (announcement.what == Announcement::What::Alert || announcement.what == Announcement::What::AlertRepeated)
        dispatch(alertOf(announcement));
}

void AlertDispatcher::dispatch(Alert alert)
{
    if (alert.id.isEmpty())
        alert.id = Alert::newId();
    // Settings changed in this turn apply to the alert too.
    followPendingChannels();
    if (m_outbox)
        m_outbox->post(alert);
    if (m_notifier)
        m_notifier->notify(alert);
}

void AlertDispatcher::finishSending()
{
    if (m_outbox)
        m_outbox->finishSending();
}

void AlertDispatcher::followChannelsSoon()
{
    // The settings dialog sets each of the three in turn: one outbox for all of them.
    QTimer::singleShot(0, this, &AlertDispatcher::followPendingChannels);
    m_channelsChanged = true;
}

void AlertDispatcher::followPendingChannels()
{
    if (m_channelsChanged) {
        m_channelsChanged = false;
        followChannels();
    }
}

void AlertDispatcher::tellRefusal(const QString& channel, const QString& refusal)
{
    // Said when it becomes so, not again as another channel's setting changes.
    const QString before = m_refusals.value(channel);
    if (refusal == before)
        return;
    if (!refusal.isEmpty()) {
        m_log(refusal);
        m_log(PhraseBook::english(PhraseBook::AlertsKeptUntilReadable, {AlertOutbox::channelTitle(channel)}));
        m_refusals.insert(channel, refusal);
    } else {
        m_refusals.remove(channel);
        m_log(PhraseBook::english(PhraseBook::SettingReadableAgain, {AlertOutbox::channelTitle(channel)}));
    }
}

void AlertDispatcher::followChannels()
{
    // The old outbox lets go of the file before the new one opens it; what waits there is sent
    // through the new channels (or dropped, with a line, for a channel no longer set).
    m_outbox.reset();
    const QString commandLine = m_settings.alertCommand.trimmed();
    const QString refusedCommand = AlertCommand::refusal(commandLine);
    const bool command = !commandLine.isEmpty() && refusedCommand.isEmpty();
    // A URL that can never be posted to would keep its alerts waiting for a day.
    const QUrl url = WebhookChannel::postableUrl(m_settings.webhookUrl);
    const QString refusedWebhook = url.isEmpty() && !m_settings.webhookUrl.trimmed().isEmpty()
        ? QStringLiteral(
            QT_TRANSLATE_NOOP("Phrases", "Alerts are not posted: \"Post alerts to\" takes an http or https URL."))
        : QString();
    const QString refusedApprise = AppriseChannel::refusal(m_settings.appriseUrls);
    const QString appriseUrls = refusedApprise.isEmpty() ? m_settings.appriseUrls.trimmed() : QString();
    QStringList paused;
    for (const auto& [channel, refusal] :
         {std::pair{AlertCommand::Name, refusedCommand}, std::pair{WebhookChannel::Name, refusedWebhook},
          std::pair{AppriseChannel::Name, refusedApprise}}) {
        tellRefusal(channel, refusal);
        if (!refusal.isEmpty())
            paused << channel;
    }
    if (!command && url.isEmpty() && appriseUrls.isEmpty() && paused.isEmpty())
        return;
    const auto makeChannels = [&](const AlertOutbox::Log& log) {
        QList<AlertChannel*> channels;
        if (command)
            channels << new AlertCommand(commandLine, log, m_limits.command);
        if (!url.isEmpty())
            channels << new WebhookChannel(url);
        if (!appriseUrls.isEmpty())
            channels << new AppriseChannel(appriseUrls, AppriseChannel::DefaultTimeLimit, m_limits.appriseProgram);
        return channels;
    };
    m_outbox = std::make_unique<AlertOutboxThread>(m_outboxFile, makeChannels, paused, m_log, m_limits.backoff);
}

} // namespace Tarnwick
