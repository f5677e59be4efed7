// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DocumentFile.h"
#include "IXmlContentHandler.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace Tarnwick {

// Devices whose alerts the user silenced, each for a while or until unmuted, and a silence of
// all devices for a while. Muted devices are still probed, logged and recorded; only their
// messages are held back. Kept in a file of its own, saved at each change, so mutes outlive a
// restart.
class MuteList : public QObject, private IXmlContentHandler
{
    Q_OBJECT

public:
    static constexpr const char* DefaultFileName = "Mutes.xml";
    using Clock = std::function<QDateTime()>;

    explicit MuteList(QObject* parent = nullptr);

    // Reads the file and saves to it from now on; a missing file is an empty list. A mute whose
    // end cannot be read mutes nothing, and is told to report.
    void load(const QString& fileName, const DocumentFile::Reporter& report = {});
    // What "now" is (tests); the system clock by default.
    void setClock(Clock clock);

    // until: when the mute ends; an invalid time mutes until unmuted.
    void mute(const QString& ip, const QDateTime& until);
    void unmute(const QString& ip);
    void muteAll(const QDateTime& until);
    void unmuteAll();

    // Whether the device's alerts are held back now, by its own mute or all devices'.
    bool isMuted(const QString& ip) const;
    // The device's own mute: when it ends (invalid: until unmuted); none when not muted now.
    std::optional<QDateTime> mutedUntil(const QString& ip) const;
    // When the mute of all devices ends; none when there is none now.
    std::optional<QDateTime> allMutedUntil() const;
    // When the device's alerts are heard again, by its own mute and all devices' together
    // (invalid: not before it is unmuted); none when they are heard now.
    std::optional<QDateTime> heardAgainAt(const QString& ip) const;

signals:
    // A mute was set, lifted or came to its end.
    void changed();
    // The user muted a device's alerts, or all devices' (an empty address), until a time
    // (invalid: until unmuted).
    void muted(const QString& ip, const QDateTime& until);
    // The user lifted a device's mute, or the mute of all devices (an empty address).
    void unmuted(const QString& ip);

private:
    bool startElement(const QString& qName, const QXmlStreamAttributes& attributes) override;
    bool endElement(const QString&) override { return true; }
    bool characters(const QString&) override { return true; }

    bool active(const QDateTime& until) const;
    void changedNow();
    // Wakes at the next end of a mute, so that those who show mutes hear it end.
    void watchForEnds();

    Clock m_now;
    DocumentFile m_file;
    DocumentFile::Reporter m_report;
    // By address; an invalid time: until unmuted.
    QHash<QString, QDateTime> m_devices;
    std::optional<QDateTime> m_all;
    QTimer m_endTimer;
};

} // namespace Tarnwick
