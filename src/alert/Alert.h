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
    // "connected" or "disconnected"; for several devices, "mixed" when their states differ.
    QString state;
    QString behind; // the failed device this one is cut off behind; empty when it is not
    QDateTime time; // UTC
    // Announcements that update an earlier one (a group that grows) carry the same key.
    QString groupKey;
    // An alert about several devices that changed each on its own: each of them. Empty for an
    // alert about one device, or a group behind the failed device at address.
    QList<Device> devices;

    // The time as ISO 8601 in UTC, milliseconds included.
    QString isoTime() const;
    // The fields a webhook receives: title, text, address, description, state, behind, time, and
    // for several devices "devices", an array of objects with address, description and state.
    QJsonObject toJson() const;
    // The alert back from toJson; the group key is not part of it.
    static Alert fromJson(const QJsonObject& json);
    // The fields as TARNWICK_TITLE, TARNWICK_TEXT, ... added to the given environment; for
    // several devices TARNWICK_DEVICES too, one line "address state description" each.
    QProcessEnvironment addTo(QProcessEnvironment environment) const;

    bool operator==(const Alert&) const = default;
};

} // namespace Tarnwick
