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
    QString title;
    QString text;
    QString address;
    QString description;
    QString state; // "connected" or "disconnected"
    QString behind; // the failed device this one is cut off behind; empty when it is not
    QDateTime time; // UTC
    // Announcements that update an earlier one (a group that grows) carry the same key.
    QString groupKey;

    // The time as ISO 8601 in UTC, milliseconds included.
    QString isoTime() const;
    // The fields a webhook receives: title, text, address, description, state, behind, time.
    QJsonObject toJson() const;
    // The alert back from toJson; the group key is not part of it.
    static Alert fromJson(const QJsonObject& json);
    // The fields as TARNWICK_TITLE, TARNWICK_TEXT, ... added to the given environment.
    QProcessEnvironment addTo(QProcessEnvironment environment) const;

    bool operator==(const Alert&) const = default;
};

} // namespace Tarnwick
