// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class QSoundEffect;

namespace Tarnwick {

// Plays the skin's "ConnectedSound.wav" or "DisconnectedSound.wav" when a device's state-change
// balloon shows and "Play sounds" is set. A desktop without sound (no audio device, a file
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

private:
    void playWithQt(const QString& path);

    Player m_player;
    QHash<QString, QSoundEffect*> m_effects;
    bool m_reported = false;
};

} // namespace Tarnwick
