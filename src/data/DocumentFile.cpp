#include "DocumentFile.h"

#include "XmlStreamParser.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <unistd.h>

namespace Tarnwick {

DocumentFile::DocumentFile(const QString& fileName, PartialReadPolicy policy)
    : m_fileName(fileName)
    , m_policy(policy)
{
}

QString DocumentFile::fileName() const
{
    return m_fileName;
}

bool DocumentFile::read(IXmlContentHandler& handler)
{
    QFile file(m_fileName);
    if (!file.exists()) {
        m_outcome = ReadOutcome::NotRead;
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_outcome = ReadOutcome::Unopenable;
        return false;
    }
    const bool complete = XmlStreamParser::parse(file, handler);
    // An empty file holds nothing that a save could destroy.
    m_outcome = complete || file.size() == 0 ? ReadOutcome::Complete : ReadOutcome::Partial;
    return complete;
}

QString DocumentFile::backupFileName() const
{
    return m_fileName + QStringLiteral(".unreadable");
}

bool DocumentFile::keepUnreadableCopy()
{
    // Never overwrite a copy kept by an earlier run: number the new one instead.
    QString name = backupFileName();
    for (int n = 2; QFile::exists(name); ++n)
        name = backupFileName() + QLatin1Char('.') + QString::number(n);
    return QFile::copy(m_fileName, name);
}

bool DocumentFile::write(const std::function<void(QXmlStreamWriter&)>& writeBody)
{
    if (m_fileName.isEmpty() || m_outcome == ReadOutcome::Unopenable)
        return false;
    if (m_outcome == ReadOutcome::Partial && QFile::exists(m_fileName)) {
        if (m_policy == PartialReadPolicy::LeaveAlone || !keepUnreadableCopy())
            return false;
    }

    // The document is made in memory and written in one unbuffered write: QSaveFile remembers
    // a failed write and then refuses to commit, whereas a failure while flushing its own
    // buffer at commit time would go unnoticed and replace the file with a cut-off one.
    QByteArray document;
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.writeStartDocument(QStringLiteral("1.0"));
    writeBody(writer);
    writer.writeEndDocument();
    if (writer.hasError())
        return false;

    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    file.write(document);
    // The data must be on the disk before the new file takes the old one's place.
    if (::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    m_outcome = ReadOutcome::Complete;
    return true;
}

} // namespace Tarnwick
