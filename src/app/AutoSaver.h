// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace Tarnwick {

class Data;
class Settings;
class VisualRepresentationData;

// Saves the device list, the map and the settings a little while after the user changed
// them, so that a crash or a kill costs at most the last seconds; quitting saves them too.
// Changes that come in a burst are saved together.
class AutoSaver : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultInterval{2000};

    // Looks for changes every `interval`.
    AutoSaver(Data& data, Settings& settings, VisualRepresentationData& map,
              std::chrono::milliseconds interval = DefaultInterval, QObject* parent = nullptr);

    // Saves whatever has changed since the last save.
    void saveChanges();

private:
    Data& m_data;
    Settings& m_settings;
    VisualRepresentationData& m_map;
    QTimer m_timer;
};

} // namespace Tarnwick
