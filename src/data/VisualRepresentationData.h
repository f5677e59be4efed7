// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "VisualRepresentationItem.h"
#include "VisualRepresentationItemConnection.h"
#include "data/DocumentFile.h"
#include "data/FileReload.h"

#include <QList>
#include <QObject>

#include <optional>

class QXmlStreamWriter;

namespace Tarnwick {

class DeviceAddedEvent;
class DeviceEntryChangedEvent;
class DeviceRemovedEvent;

// The map: placed devices and the lines between them, read from "VisualRepresentation.xml" at
// start-up and written back with the periodic save and at shutdown. Every edit announces
// itself with its signal. A file that could not be read completely is never written over,
// edited or not.
class VisualRepresentationData : public QObject
{
    Q_OBJECT

public:
    explicit VisualRepresentationData(QObject* parent = nullptr);
    ~VisualRepresentationData() override;

    static VisualRepresentationData* instance();
    static void setInstance(VisualRepresentationData* data);

    // Failed saves are told to reporter.
    bool load(const QString& fileName, DocumentFile::Reporter reporter = {});
    bool save();
    // Reads the map file again and makes the map what it says (badges added, moved and removed,
    // lines likewise), announced as the user's own changes are; a file that cannot be read
    // whole changes nothing.
    FileReload reload(DocumentFile::Reporter reporter = {});
    // Whether a save would write anything other than what was last read or saved.
    bool hasUnsavedChanges() const;

    QList<VisualRepresentationItem> items() const { return m_items; }
    QList<VisualRepresentationItemConnection> connections() const { return m_connections; }
    QString fileName() const { return m_fileName; }
    // What the program knows of the map file.
    const DocumentFile& file() const { return m_file; }

    std::optional<VisualRepresentationItem> item(const QString& ip) const;

    // Edits; each returns false, changing nothing, where it makes no sense (an address placed
    // twice, a line to itself or doubled, something that is not there).
    bool addItem(const VisualRepresentationItem& item);
    // A move by the user (not laidOut) makes the place one the layout keeps.
    bool moveItem(const QString& ip, int x, int y, bool laidOut = false);
    // Takes the lines of the device with it.
    bool removeItem(const QString& ip);
    bool addConnection(const VisualRepresentationItemConnection& connection);
    bool removeConnection(const QString& ip1, const QString& ip2);
    bool setConnectionType(const QString& ip1, const QString& ip2, int type);

    // Used by the file reader.
    void appendItem(const VisualRepresentationItem& item) { m_items.append(item); }
    void appendConnection(const VisualRepresentationItemConnection& connection) { m_connections.append(connection); }

signals:
    void ItemAdded(Tarnwick::VisualRepresentationItem item);
    void ItemRemoved(Tarnwick::VisualRepresentationItem item);
    void ItemChanged(Tarnwick::VisualRepresentationItem item);
    void ItemConnectionAdded(Tarnwick::VisualRepresentationItemConnection connection);
    void ItemConnectionRemoved(Tarnwick::VisualRepresentationItemConnection connection);
    void ItemConnectionChanged(Tarnwick::VisualRepresentationItemConnection connection);

public slots:
    // The map does not follow the device list.
    void DeviceEntryChanged(Tarnwick::DeviceEntryChangedEvent*) { }
    void DeviceAdded(Tarnwick::DeviceAddedEvent*) { }
    void DeviceRemoved(Tarnwick::DeviceRemovedEvent*) { }

private:
    void writeDocument(QXmlStreamWriter& writer) const;
    // The line between two addresses, either way round; -1 when there is none.
    qsizetype connectionIndex(const QString& ip1, const QString& ip2) const;

    QList<VisualRepresentationItem> m_items;
    QList<VisualRepresentationItemConnection> m_connections;
    QString m_fileName;
    DocumentFile m_file;
};

} // namespace Tarnwick
