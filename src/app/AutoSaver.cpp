// SPDX-License-Identifier: GPL-3.0-or-later
#include "AutoSaver.h"

#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"

namespace Tarnwick {

AutoSaver::AutoSaver(Data& data, Settings& settings, VisualRepresentationData& map, std::chrono::milliseconds interval,
                     QObject* parent)
    : QObject(parent)
    , m_data(data)
    , m_settings(settings)
    , m_map(map)
{
    // Looking costs next to nothing when nothing changed: the list counts its changes, and
    // the settings and the map are a few lines each.
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &AutoSaver::saveChanges);
    m_timer.start();
}

void AutoSaver::saveChanges()
{
    if (m_map.hasUnsavedChanges())
        m_map.save();
    if (m_settings.hasUnsavedChanges())
        m_settings.save();
    if (m_data.hasUnsavedChanges())
        m_data.save();
}

} // namespace Tarnwick
