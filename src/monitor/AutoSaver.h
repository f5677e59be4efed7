// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>

namespace Tarnwick {

class Data;
class Settings;
class VisualRepresentationData;

// Saves the device list, the map and the settings a little while after they last changed in
// the program (the window's edits, the server's), so that a crash or a kill costs at most the
// last seconds; quitting saves them too.
// Changes that come in a burst are saved together, once the burst has been quiet for a while,
// or, for changes that never let up (an API client editing every second), once the first of them
// has waited MaxWaits quiet times. A save that fails is tried again after the same while, until
// it succeeds.
class AutoSaver : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultQuietTime{2000};
    static constexpr int MaxWaits = 5;

    // Saves once nothing has changed for `quietTime`.
    AutoSaver(Data& data, Settings& settings, VisualRepresentationData& map,
              std::chrono::milliseconds quietTime = DefaultQuietTime, QObject* parent = nullptr);

    // Saves whatever has changed since the last save.
    void saveChanges();

private:
    void changed();

    Data& m_data;
    Settings& m_settings;
    VisualRepresentationData& m_map;
    std::chrono::milliseconds m_quietTime;
    QTimer m_quiet;
    // Since the first change the files do not have yet; invalid while they have every change.
    QElapsedTimer m_unsavedSince;
    int m_heardRevision = 0;
};

} // namespace Tarnwick
