// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataLogListener.h"

#include "LogManager.h"
#include "data/Announcement.h"
#include "data/DeviceAddedEvent.h"
#include "data/DeviceEntryChangedEvent.h"
#include "data/DeviceRemovedEvent.h"
#include "data/Settings.h"

namespace Tarnwick {

namespace {

// Whom a mute or a maintenance window is for, in a log line: an empty address is every device.
QString whose(const QString& ip)
{
    return ip.isEmpty() ? QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "all devices")) : ip;
}

} // namespace

DataLogListener::DataLogListener(QObject* parent)
    : QObject(parent)
    , m_logManager(LogManager::instance())
{
}

void DataLogListener::logForDevice(const QString& ip, const QString& description, const PhraseBook::Phrase& phrase,
                                   const QStringList& parts)
{
    logDeviceLine(PhraseBook::english(phrase, QStringList{DeviceEntry::named(ip, description)} + parts));
}

void DataLogListener::logDeviceLine(const QString& line)
{
    if (Settings::instance().logStateChange)
        m_logManager.log("DeviceList", line.toStdString());
}

void DataLogListener::announced(const Announcement& announcement)
{
    if (announcement.devices.isEmpty())
        return;
    const QString& ip = announcement.devices.first();
    if (announcement.what == Announcement::What::SlowChanged || announcement.what == Announcement::What::CannotProbe) {
        // The line the announcer made ("is slow: ..."), after the device.
        logDeviceLine(
            QStringLiteral("Device %1 %2").arg(DeviceEntry::named(ip, announcement.description), announcement.text));
        return;
    }
    if (announcement.what == Announcement::What::PathChanged) {
        logDeviceLine(announcement.text);
        return;
    }
    if (announcement.what != Announcement::What::StateChanged)
        return;
    QString line = PhraseBook::english(announcement.connected ? PhraseBook::StateConnected
                                                              : PhraseBook::StateDisconnected,
                                       {DeviceEntry::named(ip, announcement.description)});
    if (!announcement.behind.isEmpty())
        line = PhraseBook::english(PhraseBook::UnreachableBehind, {line, announcement.behind});
    else if (!announcement.connected && !announcement.reason.isEmpty())
        line = PhraseBook::english(PhraseBook::WithReason, {line, announcement.reason});
    if (announcement.whileAway)
        line = PhraseBook::english(PhraseBook::WhileAway, {line});
    logDeviceLine(line);
}

void DataLogListener::DeviceAdded(DeviceAddedEvent* pEvent)
{
    logForDevice(pEvent->entry().ip, pEvent->entry().description, PhraseBook::AddedToList);
}

void DataLogListener::DeviceEntryChanged(DeviceEntryChangedEvent* pEvent)
{
    // Results change the entry too, many times a second: only what the user edits is told.
    const DeviceEntry& before = pEvent->oldEntry();
    const DeviceEntry& after = pEvent->newEntry();
    QStringList changes;
    // Texts are made only for fields whose values differ: most events are results, which
    // change none of these.
    const auto note = [&changes](const char* field, const auto& from, const auto& to, const auto& text) {
        if (from == to)
            return;
        const QString fromText = text(from);
        const QString toText = text(to);
        if (fromText != toText)
            changes << QStringLiteral("%1 \"%2\" to \"%3\"").arg(QLatin1String(field), fromText, toText);
    };
    const auto asIs = [](const QString& text) { return text; };
    note("address", before.ip, after.ip, asIs);
    note("description", before.description, after.description, asIs);
    note("type", before.type, after.type, [](int type) { return QString::number(type); });
    note("information on state change", before.informOnStateChange, after.informOnStateChange,
         [](bool yes) { return yes ? QStringLiteral("yes") : QStringLiteral("no"); });
    note("check", before.check, after.check, [](const DeviceCheck& check) { return check.text(); });
    if (before.slowLimits != after.slowLimits)
        changes << QStringLiteral("its slow limits");
    note("echo requests", before.echo, after.echo, [](const EchoOptions& echo) {
        return QStringLiteral("%1 bytes%2").arg(echo.payloadSize).arg(echo.dontFragment ? ", don't fragment" : "");
    });
    note("further checks", before.moreChecks, after.moreChecks, [](const QList<DeviceCheck>& checks) {
        QStringList words;
        for (const DeviceCheck& check : checks)
            words << check.text();
        return words.join(QStringLiteral(", "));
    });
    if (!changes.isEmpty())
        logForDevice(before.ip, before.description, PhraseBook::Edited, {changes.join(QStringLiteral(", "))});
}

void DataLogListener::muted(const QString& ip, const QDateTime& until)
{
    const QString end = until.isValid() ? until.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"))
                                        : QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "unmuted"));
    m_logManager.log("Alerts", PhraseBook::english(PhraseBook::AlertsMuted, {whose(ip), end}).toStdString());
}

void DataLogListener::unmuted(const QString& ip)
{
    m_logManager.log("Alerts", PhraseBook::english(PhraseBook::AlertsUnmuted, {whose(ip)}).toStdString());
}

void DataLogListener::maintenanceAdded(const MaintenanceWindow& window)
{
    m_logManager.log(
        "Alerts", PhraseBook::english(PhraseBook::MaintenanceAdded, {whose(window.ip), window.text()}).toStdString());
}

void DataLogListener::maintenanceRemoved(const MaintenanceWindow& window)
{
    m_logManager.log(
        "Alerts", PhraseBook::english(PhraseBook::MaintenanceRemoved, {whose(window.ip), window.text()}).toStdString());
}

void DataLogListener::DeviceRemoved(DeviceRemovedEvent* pEvent)
{
    logForDevice(pEvent->entry().ip, pEvent->entry().description, PhraseBook::RemovedFromList);
}

} // namespace Tarnwick
