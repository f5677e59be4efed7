// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class QSoundEffect;

namespace Tarnwick {

struct Announcement;

// Plays the skin's "ConnectedSound.wav" or "DisconnectedSound.wav" with each new message of the
// announcer (not with one told again) when "Play sounds" is set. A desktop without sound (no audio device, a file
// that cannot be played) is said once in the log and otherwise ignored.
class StateChangeSound : public QObject
{
    Q_OBJECT

public:
    // Starts playing a file; tells problems through reportUnplayable. Replaceable for tests.
    using Player = std::function<void(const QString& path)>;

    explicit StateChangeSound(QObject* parent = nullptr);
    void setPlayer(Player player);

    // Says in the log, the first time only, why no sound is heard.
    void reportUnplayable(const QString& why);

public slots:
    void play(bool connected);
    void announced(const Tarnwick::Announcement& announcement);

private:
    void playWithQt(const QString& path);

    Player m_player;
    QHash<QString, QSoundEffect*> m_effects;
    bool m_reported = false;
};

} // namespace Tarnwick
