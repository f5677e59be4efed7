// SPDX-License-Identifier: GPL-3.0-or-later
#include "AutoSaver.h"

#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"

#include <QThread>

#include <algorithm>

namespace Tarnwick {

AutoSaver::AutoSaver(Data& data, Settings& settings, VisualRepresentationData& map, std::chrono::milliseconds quietTime,
                     QObject* parent)
    : QObject(parent)
    , m_data(data)
    , m_settings(settings)
    , m_map(map)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietTime);
    connect(&m_quiet, &QTimer::timeout, this, &AutoSaver::saveChanges);
    m_quietTime = quietTime;

    connect(&settings.notifier(), &SettingsNotifier::changed, this, &AutoSaver::changed);
    for (auto signal : {&VisualRepresentationData::ItemAdded, &VisualRepresentationData::ItemRemoved,
                        &VisualRepresentationData::ItemChanged})
        connect(&map, signal, this, &AutoSaver::changed);
    for (auto signal :
         {&VisualRepresentationData::ItemConnectionAdded, &VisualRepresentationData::ItemConnectionRemoved,
          &VisualRepresentationData::ItemConnectionChanged})
        connect(&map, signal, this, &AutoSaver::changed);
    data.connectReceiver(
        this,
        {.added = [this](DeviceAddedEvent*) { changed(); }, .removed = [this](DeviceRemovedEvent*) { changed(); }});
    // Probe results come many a second and are not kept in the file: only a change that moved
    // the list's revision (an edit) starts the wait, or a steady flow of results would keep
    // putting the save off. Heard directly, as results may come from the monitor's thread.
    m_heardRevision = data.revision();
    data.connectReceiver(this,
                         {.changed =
                              [this](DeviceEntryChangedEvent*) {
                                  if (QThread::currentThread() != thread())
                                      return;
                                  const int revision = m_data.revision();
                                  if (revision != m_heardRevision) {
                                      m_heardRevision = revision;
                                      changed();
                                  }
                              }},
                         Qt::DirectConnection);
}

void AutoSaver::changed()
{
    if (!m_unsavedSince.isValid())
        m_unsavedSince.start();
    const qint64 left = m_quietTime.count() * MaxWaits - m_unsavedSince.elapsed();
    m_quiet.start(std::chrono::milliseconds(std::clamp<qint64>(left, 0, m_quietTime.count())));
}

void AutoSaver::saveChanges()
{
    bool saved = true;
    if (m_map.hasUnsavedChanges())
        saved = m_map.save() && saved;
    if (m_settings.hasUnsavedChanges())
        saved = m_settings.save() && saved;
    if (m_data.hasUnsavedChanges())
        saved = m_data.save() && saved;
    // The file keeps what it had and the changes wait here: try again rather than lose them.
    if (!saved) {
        m_quiet.start(m_quietTime);
        return;
    }
    m_unsavedSince.invalidate();
}

} // namespace Tarnwick
