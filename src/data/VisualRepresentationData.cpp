// SPDX-License-Identifier: GPL-3.0-or-later
#include "VisualRepresentationData.h"

#include "VisualRepresentationDataXmlHandler.h"

#include <QFileInfo>
#include <QXmlStreamWriter>

#include <algorithm>

namespace Tarnwick {

namespace {
VisualRepresentationData* s_instance = nullptr;
}

VisualRepresentationData::VisualRepresentationData(QObject* parent)
    : QObject(parent)
{
}

VisualRepresentationData::~VisualRepresentationData()
{
    if (s_instance == this)
        s_instance = nullptr;
}

VisualRepresentationData* VisualRepresentationData::instance()
{
    return s_instance;
}

void VisualRepresentationData::setInstance(VisualRepresentationData* data)
{
    s_instance = data;
}

bool VisualRepresentationData::load(const QString& fileName, DocumentFile::Reporter reporter)
{
    m_fileName = fileName;
    // Rewriting a file that could not be read whole would destroy the part that was not read.
    m_file = DocumentFile(fileName, QStringLiteral("VisualRepresentation"), DocumentFile::PartialReadPolicy::LeaveAlone,
                          std::move(reporter));
    VisualRepresentationDataXmlHandler handler(*this);
    const bool complete = m_file.read(handler);
    m_file.rememberAsSaved([this](QXmlStreamWriter& writer) { writeDocument(writer); });
    return complete;
}

FileReload VisualRepresentationData::reload(DocumentFile::Reporter reporter)
{
    FileReload outcome;
    VisualRepresentationData read;
    if (!read.load(m_fileName, std::move(reporter))) {
        // No map file and no map: there is nothing to keep or to say.
        if (m_items.isEmpty() && m_connections.isEmpty() && !QFileInfo::exists(m_fileName))
            outcome.read = true;
        else
            outcome.problem = DocumentFile::notReadReason(read.m_file);
        return outcome;
    }
    outcome.read = true;
    for (const VisualRepresentationItemConnection& line : connections()) {
        if (read.connectionIndex(line.ip1, line.ip2) < 0 && removeConnection(line.ip1, line.ip2))
            ++outcome.removed;
    }
    for (const VisualRepresentationItem& badge : items()) {
        if (!read.item(badge.ip) && removeItem(badge.ip))
            ++outcome.removed;
    }
    for (const VisualRepresentationItem& badge : read.m_items) {
        const std::optional<VisualRepresentationItem> running = item(badge.ip);
        if (!running)
            outcome.added += addItem(badge);
        else if (*running != badge)
            outcome.changed += moveItem(badge.ip, badge.x, badge.y, badge.laidOut);
    }
    for (const VisualRepresentationItemConnection& line : read.m_connections) {
        const qsizetype i = connectionIndex(line.ip1, line.ip2);
        if (i < 0)
            outcome.added += addConnection(line);
        else if (m_connections.at(i).type != line.type)
            outcome.changed += setConnectionType(line.ip1, line.ip2, line.type);
    }
    // The same badges and lines in the file's order, so that a save writes the file as it is.
    m_items = read.m_items;
    m_connections = read.m_connections;
    m_file = read.m_file;
    return outcome;
}

bool VisualRepresentationData::save()
{
    return m_file.write([this](QXmlStreamWriter& writer) { writeDocument(writer); }, hasUnsavedChanges());
}

bool VisualRepresentationData::hasUnsavedChanges() const
{
    return m_file.hasChanges([this](QXmlStreamWriter& writer) { writeDocument(writer); });
}

std::optional<VisualRepresentationItem> VisualRepresentationData::item(const QString& ip) const
{
    for (const VisualRepresentationItem& placed : m_items) {
        if (placed.ip == ip)
            return placed;
    }
    return std::nullopt;
}

bool VisualRepresentationData::addItem(const VisualRepresentationItem& placed)
{
    if (placed.ip.isEmpty() || item(placed.ip))
        return false;
    m_items.append(placed);
    emit ItemAdded(placed);
    return true;
}

bool VisualRepresentationData::moveItem(const QString& ip, int x, int y, bool laidOut)
{
    for (VisualRepresentationItem& placed : m_items) {
        if (placed.ip != ip)
            continue;
        if (placed.x == x && placed.y == y && placed.laidOut == laidOut)
            return false;
        placed.x = x;
        placed.y = y;
        placed.laidOut = laidOut;
        emit ItemChanged(placed);
        return true;
    }
    return false;
}

bool VisualRepresentationData::removeItem(const QString& ip)
{
    const auto found = std::find_if(m_items.begin(), m_items.end(),
                                    [&](const VisualRepresentationItem& placed) { return placed.ip == ip; });
    if (found == m_items.end())
        return false;
    for (qsizetype i = m_connections.size() - 1; i >= 0; --i) {
        if (m_connections[i].ip1 == ip || m_connections[i].ip2 == ip)
            emit ItemConnectionRemoved(m_connections.takeAt(i));
    }
    const VisualRepresentationItem removed = *found;
    m_items.erase(found);
    emit ItemRemoved(removed);
    return true;
}

qsizetype VisualRepresentationData::connectionIndex(const QString& ip1, const QString& ip2) const
{
    for (qsizetype i = 0; i < m_connections.size(); ++i) {
        const VisualRepresentationItemConnection& c = m_connections[i];
        if ((c.ip1 == ip1 && c.ip2 == ip2) || (c.ip1 == ip2 && c.ip2 == ip1))
            return i;
    }
    return -1;
}

bool VisualRepresentationData::addConnection(const VisualRepresentationItemConnection& connection)
{
    if (connection.ip1 == connection.ip2 || !item(connection.ip1) || !item(connection.ip2)
        || connectionIndex(connection.ip1, connection.ip2) >= 0)
        return false;
    m_connections.append(connection);
    emit ItemConnectionAdded(connection);
    return true;
}

bool VisualRepresentationData::removeConnection(const QString& ip1, const QString& ip2)
{
    const qsizetype i = connectionIndex(ip1, ip2);
    if (i < 0)
        return false;
    emit ItemConnectionRemoved(m_connections.takeAt(i));
    return true;
}

bool VisualRepresentationData::setConnectionType(const QString& ip1, const QString& ip2, int type)
{
    const qsizetype i = connectionIndex(ip1, ip2);
    if (i < 0 || m_connections[i].type == type)
        return false;
    m_connections[i].type = type;
    emit ItemConnectionChanged(m_connections[i]);
    return true;
}

void VisualRepresentationData::writeDocument(QXmlStreamWriter& writer) const
{
    writer.writeStartElement(QStringLiteral("VisualRepresentation"));
    writer.writeStartElement(QStringLiteral("Devices"));
    for (const VisualRepresentationItem& item : std::as_const(m_items)) {
        writer.writeEmptyElement(QStringLiteral("Device"));
        writer.writeAttribute(QStringLiteral("IP"), item.ip);
        writer.writeAttribute(QStringLiteral("X"), QString::number(item.x));
        writer.writeAttribute(QStringLiteral("Y"), QString::number(item.y));
        if (item.laidOut)
            writer.writeAttribute(QStringLiteral("LaidOut"), QStringLiteral("1"));
    }
    writer.writeEndElement();
    writer.writeStartElement(QStringLiteral("Connections"));
    for (const VisualRepresentationItemConnection& connection : std::as_const(m_connections)) {
        writer.writeEmptyElement(QStringLiteral("Connection"));
        writer.writeAttribute(QStringLiteral("IP1"), connection.ip1);
        writer.writeAttribute(QStringLiteral("IP2"), connection.ip2);
        writer.writeAttribute(QStringLiteral("Type"), QString::number(connection.type));
    }
    writer.writeEndElement();
    writer.writeEndElement();
}

} // namespace Tarnwick
