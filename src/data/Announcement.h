// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace Tarnwick {

// What the announcer decided a change of state means, for whoever tells the user (the log,
// the tray, sounds).
struct Announcement
{
    // One device of a message about several that changed each on its own.
    struct Device
    {
        QString address;
        QString description;
        bool connected = false;
        bool operator==(const Device&) const = default;
    };

    enum class What {
        // A device's state changed (every device, watched or not): one log line.
        StateChanged,
        // A message for the user: a balloon, with its sound.
        Alert,
        // A message shown before, told again with what has changed since (no sound).
        AlertRepeated,
        // A connected device became slow or recovered: one log line, its text after the
        // device's name ("is slow: average 340 ms over the last 20 replies").
        SlowChanged,
        // A device's probes cannot be sent, for the reason in text ("name not found"): one log
        // line when that starts or its reason changes.
        CannotProbe,
        // The way to a device changed: one log line, the whole of it in text.
        PathChanged,
    };

    // What an Alert tells of: a change of state (see connected), or of slowness; or news of the
    // network watch: hardware never heard before, an address answering from other hardware,
    // hardware answering for many addresses, and the first round of a watch (its baseline).
    enum class Kind {
        State,
        Slow,
        NoLongerSlow,
        NewDevice,
        HardwareChanged,
        AnswersForMany,
        NetworkWatched,
        PathChanged,
    };

    What what = What::StateChanged;
    Kind kind = Kind::State;
    // The message's title and text (SlowChanged: the line's); empty for StateChanged.
    QString title;
    QString text;
    // The devices it is about by address: the one it names first.
    QStringList devices;
    // The first device's description.
    QString description;
    bool connected = false;
    // StateChanged: the failed device this one is cut off behind, if it is.
    QString behind;
    // StateChanged, disconnected: why no reply came, where the network said so ("host
    // unreachable, from 10.0.0.1").
    QString reason;
    // The change happened while Tarnwick was not running: the device's first result differs
    // from the last state (or slowness) the history holds of it.
    bool whileAway = false;
    // When the announcer decided it (UTC): a grouped message is decided after its wait.
    QDateTime time;
    // The identity of the alert it makes where that must stay the same when it is told again
    // (news of the network watch, told again by a run that ended before its inventory was
    // written), so that receivers drop the copy; empty: a new one each time.
    QString id;
    // A message about several devices: each of them, in the order the text names them (the
    // failed device first, for a group cut off behind it). Empty for a message about one.
    QList<Device> each;
};

} // namespace Tarnwick

Q_DECLARE_METATYPE(Tarnwick::Announcement)
