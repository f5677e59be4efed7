// SPDX-License-Identifier: GPL-3.0-or-later
#include "StateChangeSound.h"

#include "data/Announcement.h"
#include "data/Settings.h"
#include "log/LogManager.h"
#include "skin/SkinResources.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace Tarnwick {

StateChangeSound::StateChangeSound(QObject* parent)
    : QObject(parent)
    , m_player([this](const QString& path) { playWithQt(path); })
{
}

void StateChangeSound::setPlayer(Player player)
{
    m_player = std::move(player);
}

void StateChangeSound::reportUnplayable(const QString& why)
{
    if (m_reported)
        return;
    m_reported = true;
    LogManager::instance().log("Application", ("No sound can be played: " + why).toStdString());
}

void StateChangeSound::play(bool connected)
{
    if (!Settings::instance().playSounds)
        return;
    const QString name = connected ? QStringLiteral("ConnectedSound.wav") : QStringLiteral("DisconnectedSound.wav");
    const QString path = SkinResources::filePath(name);
    if (path.isEmpty()) {
        reportUnplayable(QStringLiteral("the skin has no \"%1\"").arg(name));
        return;
    }
    m_player(path);
}

void StateChangeSound::announced(const Announcement& announcement)
{
    if (announcement.what == Announcement::What::Alert)
        play(announcement.connected);
}

void StateChangeSound::playWithQt(const QString& path)
{
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        reportUnplayable(QStringLiteral("this computer has no audio output"));
        return;
    }
    QSoundEffect*& effect = m_effects[path];
    if (!effect) {
        effect = new QSoundEffect(this);
        connect(effect, &QSoundEffect::statusChanged, this, [this, effect, path] {
            if (effect->status() == QSoundEffect::Error)
                reportUnplayable(QStringLiteral("\"%1\" could not be played").arg(path));
        });
        effect->setSource(QUrl::fromLocalFile(path));
    }
    effect->play();
}

} // namespace Tarnwick
