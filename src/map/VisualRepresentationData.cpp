#include "VisualRepresentationData.h"

#include "VisualRepresentationDataXmlHandler.h"

#include <QXmlStreamWriter>

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

bool VisualRepresentationData::load(const QString& fileName)
{
    m_fileName = fileName;
    // The program never changes the map, so rewriting a file it could not read whole would
    // only destroy the part it did not read.
    m_file = DocumentFile(fileName, QStringLiteral("VisualRepresentation"),
                          DocumentFile::PartialReadPolicy::LeaveAlone);
    VisualRepresentationDataXmlHandler handler(*this);
    const bool complete = m_file.read(handler);
    m_file.rememberAsSaved([this](QXmlStreamWriter& writer) { writeDocument(writer); });
    return complete;
}

bool VisualRepresentationData::save()
{
    return m_file.write([this](QXmlStreamWriter& writer) { writeDocument(writer); }, hasUnsavedChanges());
}

bool VisualRepresentationData::hasUnsavedChanges() const
{
    return m_file.hasChanges([this](QXmlStreamWriter& writer) { writeDocument(writer); });
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
