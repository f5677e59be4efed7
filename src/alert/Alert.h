// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>

namespace Tarnwick {

// One announcement as the channels that carry it off the program see it: what the user reads
// (title and text) and what a receiving program sorts by (the device, its state, when).
struct Alert
{
    // One device of an alert about several that changed each on its own.
    struct Device
    {
        QString address;
        QString description;
        QString state;
        bool operator==(const Device&) const = default;
    };

    QString title;
    QString text;
    QString address; // empty when the alert is about several devices (see devices)
    QString description;
    // "connected" or "disconnected"; for several devices, "mixed" when their states differ;
    // empty for a test alert.
    QString state;
    QString behind; // the failed device this one is cut off behind; empty when it is not
    QDateTime time; // UTC
    // Announcements that update an earlier one (a group that grows) carry the same key.
    QString groupKey;
    // An alert about several devices: each of them (a group cut off behind the failed device at
    // address: that one first). Empty for an alert about one device.
    QList<Device> devices;
    // What the alert tells of: "down", "up", "slow", "no longer slow", "test", "dropped", the
    // network watch's news or "path changed" (Kinds). Several devices that changed each on its own are "up" when all
    // came up, "down" otherwise.
    QString kind;
    // The alert's own identity, the same on every channel and every attempt (a retry, a
    // restart): receivers, which may get an alert more than once, de-duplicate by it.
    QString id;

    // The kinds, as the fields carry them.
    struct Kinds
    {
        static inline const QString Down = QStringLiteral("down");
        static inline const QString Up = QStringLiteral("up");
        static inline const QString Slow = QStringLiteral("slow");
        static inline const QString NoLongerSlow = QStringLiteral("no longer slow");
        static inline const QString Test = QStringLiteral("test");
        // Alerts that waited for a channel down too long, folded into one that counts them.
        static inline const QString Dropped = QStringLiteral("dropped");
        // News of the network watch.
        static inline const QString NewDevice = QStringLiteral("new device");
        static inline const QString HardwareChanged = QStringLiteral("hardware changed");
        static inline const QString AnswersForMany = QStringLiteral("answers for many");
        static inline const QString NetworkWatched = QStringLiteral("network watched");
        // A device's way changed (the path watch).
        static inline const QString PathChanged = QStringLiteral("path changed");
    };

    // A new id, for an alert (or a row that carries one).
    static QString newId();
    // The group key of the alerts of one device and kind: a notification shown is replaced by the
    // next of its group (a group that grows).
    static QString groupKeyOf(const QString& address, const QString& kind);
    // The time as ISO 8601 in UTC, milliseconds included.
    QString isoTime() const;
    // The fields a webhook receives: title, text, address, description, state, behind, time,
    // kind, id, and for several devices "devices", an array of objects with address, description
    // and state.
    QJsonObject toJson() const;
    // The alert back from toJson; the group key is not part of it. Without a kind (written
    // before alerts had one), the state decides between "up" and "down".
    static Alert fromJson(const QJsonObject& json);
    // The fields as TARNWICK_TITLE, TARNWICK_TEXT, ..., TARNWICK_KIND, TARNWICK_ID added to the given environment; for
    // several devices TARNWICK_DEVICES too, one line "address state description" each.
    QProcessEnvironment addTo(QProcessEnvironment environment) const;

    bool operator==(const Alert&) const = default;
};

} // namespace Tarnwick
