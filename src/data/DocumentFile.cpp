// SPDX-License-Identifier: GPL-3.0-or-later
#include "DocumentFile.h"

#include "DataLogging.h"
#include "PhraseBook.h"
#include "Utf8Repair.h"
#include "XmlStreamParser.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

// The first of name, name.2, name.3, ... that does not exist yet: copies kept by earlier runs
// are never written over.
QString firstFreeName(const QString& name)
{
    QString candidate = name;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = name + QLatin1Char('.') + QString::number(n);
    return candidate;
}

QByteArray hashOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

} // namespace

DocumentFile::DocumentFile(const QString& fileName, const QString& rootElement, PartialReadPolicy policy,
                           Reporter reporter)
    : m_fileName(fileName)
    , m_rootElement(rootElement)
    , m_policy(policy)
    , m_reporter(std::move(reporter))
{
}

QString DocumentFile::fileName() const
{
    return m_fileName;
}

QString DocumentFile::backupFileName() const
{
    return m_fileName + QStringLiteral(".unreadable");
}

DocumentFile::DiskState DocumentFile::diskState(const QString& fileName, const QByteArray* contents)
{
    DiskState state;
    struct stat info = {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return state;
    state.exists = true;
    state.size = info.st_size;
    state.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    state.inode = quint64(info.st_ino);
    if (contents)
        state.hash = hashOf(*contents);
    return state;
}

QString DocumentFile::notReadReason(const DocumentFile& file)
{
    if (!file.readProblem().isEmpty())
        return file.readProblem();
    return QFileInfo::exists(file.fileName()) ? QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "it is empty"))
                                              : QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "it does not exist"));
}

bool DocumentFile::read(IXmlContentHandler& handler)
{
    m_readProblem.clear();
    m_disk = DiskState();
    const QFileInfo info(m_fileName);
    if (!info.exists()) {
        m_outcome = ReadOutcome::NotRead;
        if (info.isSymLink()) {
            m_readProblem = PhraseBook::english(PhraseBook::LinkToNothing, {info.symLinkTarget()});
            qCWarning(lcData).noquote() << m_fileName << "cannot be read:" << m_readProblem;
        }
        return false;
    }

    // A pipe or a device in the file's place would hold the reading up, or never end it.
    if (!info.isFile() && !info.isDir()) {
        m_outcome = ReadOutcome::Unopenable;
        m_readProblem = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "it is not a regular file"));
        m_sessionFileName = firstFreeName(m_fileName + QStringLiteral(".new"));
        qCWarning(lcData).noquote() << m_fileName << "cannot be read:" << m_readProblem;
        return false;
    }
    QFile file(m_fileName);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        // Never written over: what it holds is unknown. Saves go to a file beside it.
        m_outcome = ReadOutcome::Unopenable;
        m_readProblem = file.errorString();
        m_sessionFileName = firstFreeName(m_fileName + QStringLiteral(".new"));
        qCWarning(lcData).noquote() << m_fileName << "cannot be read:" << m_readProblem;
        return false;
    }
    m_disk = diskState(m_fileName, &bytes);
    // An empty file holds nothing that a save could destroy.
    if (bytes.isEmpty()) {
        m_outcome = ReadOutcome::Complete;
        return false;
    }

    QStringList problems;
    if (!Utf8Repair::declaresOtherEncoding(bytes) && Utf8Repair::repair(bytes))
        problems << QStringLiteral(
            QT_TRANSLATE_NOOP("Phrases", "it holds bytes that are not UTF-8, read as Latin-1 characters"));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const XmlStreamParser::Result result = XmlStreamParser::parse(buffer, handler, m_rootElement);
    if (result.stoppedByHandler) {
        m_outcome = ReadOutcome::Abandoned;
        m_readProblem = QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "its reading was given up before the end"));
        return false;
    }
    if (!result.wellFormed)
        problems << PhraseBook::english(PhraseBook::NotWellFormed, {result.error});
    else if (!result.rootAsExpected)
        problems << PhraseBook::english(PhraseBook::OtherRootElement, {m_rootElement});
    if (result.textCut)
        problems << PhraseBook::english(PhraseBook::TextCut, {QString::number(XmlStreamParser::MaxTextLength)});
    m_outcome = problems.isEmpty() ? ReadOutcome::Complete : ReadOutcome::Partial;
    m_readProblem = problems.join(QStringLiteral("; "));
    if (!problems.isEmpty())
        qCWarning(lcData).noquote() << m_fileName << "was not read completely:" << m_readProblem;
    return problems.isEmpty();
}

QByteArray DocumentFile::render(const BodyWriter& writeBody)
{
    QByteArray document;
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.writeStartDocument(QStringLiteral("1.0"));
    writeBody(writer);
    writer.writeEndDocument();
    return writer.hasError() ? QByteArray() : document;
}

void DocumentFile::rememberAsSaved(const BodyWriter& writeBody)
{
    m_savedHash = hashOf(render(writeBody));
}

bool DocumentFile::hasChanges(const BodyWriter& writeBody) const
{
    return hashOf(render(writeBody)) != m_savedHash;
}

bool DocumentFile::changedOnDisk() const
{
    const DiskState now = diskState(m_fileName);
    if (!now.exists)
        return false;
    if (m_disk.exists && now.size == m_disk.size && now.modifiedNs == m_disk.modifiedNs && now.inode == m_disk.inode)
        return false;
    // Touched or copied back, perhaps, but is it different?
    QFile file(m_fileName);
    return !m_disk.exists || !file.open(QIODevice::ReadOnly) || hashOf(file.readAll()) != m_disk.hash;
}

void DocumentFile::report(const QString& text)
{
    qCWarning(lcData).noquote() << text;
    // A save retried while the cause lasts says so once.
    if (text == m_lastReport)
        return;
    m_lastReport = text;
    if (m_reporter)
        m_reporter(text);
}

bool DocumentFile::keepCopy(const QString& baseName, const QString& why)
{
    const QString copy = firstFreeName(baseName);
    if (!QFile::copy(m_fileName, copy)) {
        report(QStringLiteral("\"%1\" %2, and no copy of it could be kept as \"%3\"; it was not saved over")
                   .arg(m_fileName, why, copy));
        return false;
    }
    report(QStringLiteral("\"%1\" %2; it was kept as \"%3\" before saving").arg(m_fileName, why, copy));
    return true;
}

bool DocumentFile::replace(const QString& fileName, const QByteArray& document)
{
    QSaveFile file(fileName);
    // A folder that takes no new file still lets a writable file be written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        report(QStringLiteral("\"%1\" could not be saved: %2").arg(fileName, file.errorString()));
        return false;
    }
    // One unbuffered write: QSaveFile remembers a failed write and then refuses to commit,
    // whereas a failure while flushing its own buffer at commit time would go unnoticed and
    // replace the file with a cut-off one.
    QString error;
    if (file.write(document) != document.size())
        error = file.errorString();
    // The data must be on the disk before the new file takes the old one's place.
    if (error.isEmpty() && ::fsync(file.handle()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
    }
    if (!file.commit()) {
        report(QStringLiteral("\"%1\" could not be saved: %2")
                   .arg(fileName, error.isEmpty() ? file.errorString() : error));
        return false;
    }
    return true;
}

bool DocumentFile::write(const BodyWriter& writeBody, bool ownChanges)
{
    if (m_fileName.isEmpty())
        return false;
    if (m_outcome == ReadOutcome::Abandoned) {
        if (ownChanges)
            report(QStringLiteral("\"%1\" was read only in part at start and is not saved over").arg(m_fileName));
        return !ownChanges;
    }
    const bool unopenable = m_outcome == ReadOutcome::Unopenable;
    const bool exists = !unopenable && diskState(m_fileName).exists;
    // Nothing of ours to write: whatever is on disk stays as it is, hand edits included. The
    // document is not even put together, which takes a while for a long list at every quit.
    if (!ownChanges && (unopenable || exists))
        return true;
    const QByteArray document = render(writeBody);
    if (document.isEmpty()) {
        report(QStringLiteral("\"%1\" could not be saved: its contents could not be written").arg(m_fileName));
        return false;
    }

    if (unopenable) {
        if (!replace(m_sessionFileName, document))
            return false;
        report(QStringLiteral("\"%1\" could not be read at start; this session's version was saved as \"%2\"")
                   .arg(m_fileName, m_sessionFileName));
        m_savedHash = hashOf(document);
        return true;
    }

    if (exists && changedOnDisk()) {
        if (!keepCopy(m_fileName + QStringLiteral(".changed-on-disk"),
                      QStringLiteral("changed on disk since Tarnwick read or saved it")))
            return false;
    } else if (exists && m_outcome == ReadOutcome::Partial) {
        if (m_policy == PartialReadPolicy::LeaveAlone) {
            report(QStringLiteral("\"%1\" was not read completely at start and is not saved over").arg(m_fileName));
            return false;
        }
        if (!keepCopy(backupFileName(), QStringLiteral("could not be read completely at start")))
            return false;
    }
    struct stat info = {};
    if (exists && ::stat(QFile::encodeName(m_fileName).constData(), &info) == 0 && (info.st_mode & 0222) == 0) {
        report(QStringLiteral("\"%1\" is read-only and was not replaced").arg(m_fileName));
        return false;
    }
    if (!replace(m_fileName, document))
        return false;
    m_savedHash = hashOf(document);
    m_outcome = ReadOutcome::Complete;
    m_disk = diskState(m_fileName, &document);
    m_lastReport.clear();
    return true;
}

} // namespace Tarnwick
