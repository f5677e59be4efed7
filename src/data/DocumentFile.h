// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QXmlStreamWriter;

namespace Tarnwick {

class IXmlContentHandler;

// One XML document on disk that the program reads at start and saves while it runs and at
// quit. It never loses what it could not read, never overwrites silently what someone else
// changed meanwhile, and replaces the file in one step, so that a crash or a full disk leaves
// the previous file whole. Every failure is reported.
class DocumentFile
{
public:
    // What a save does with a file that was read only in part.
    enum class PartialReadPolicy {
        KeepCopy, // keep it beside itself as "<name>.unreadable", then save
        LeaveAlone, // do not save over it at all
    };

    using BodyWriter = std::function<void(QXmlStreamWriter&)>;
    using Reporter = std::function<void(const QString& text)>;

    DocumentFile() = default;
    // reporter: where failed saves and copies kept aside are told, besides the diagnostics (the
    // application writes them to its log).
    DocumentFile(const QString& fileName, const QString& rootElement,
                 PartialReadPolicy policy = PartialReadPolicy::KeepCopy, Reporter reporter = {});

    QString fileName() const;

    // Parses the file into the handler; true when the whole document was read. Bytes that
    // are not UTF-8 are read as Latin-1 characters, and the file then counts as not read whole.
    bool read(IXmlContentHandler& handler);
    // Why the file could not be opened or read whole; empty when it could.
    QString readProblem() const { return m_readProblem; }
    // Why a read gave nothing or not all: the problem, or that the file is missing or empty.
    static QString notReadReason(const DocumentFile& file);
    // The file exists but could not be opened: its saves go to sessionFileName() instead.
    bool unopenable() const { return m_outcome == ReadOutcome::Unopenable; }
    // The handler ended the reading early (the program was quitting): the file is never saved
    // over, since what was read is only a part of it.
    bool abandoned() const { return m_outcome == ReadOutcome::Abandoned; }
    QString sessionFileName() const { return m_sessionFileName; }

    // For owners of small documents that have no other way to tell their changes: records
    // what the document read says, as the owner writes it, so that hasChanges() can compare.
    void rememberAsSaved(const BodyWriter& writeBody);
    // Whether writeBody would write something other than what was last read or saved.
    bool hasChanges(const BodyWriter& writeBody) const;

    // Writes the declaration, lets writeBody add the root element, and swaps the result in.
    // ownChanges: the program changed the document since it was read or last saved. Without
    // them an existing file is left as it is (hand edits and comments included); a file
    // changed on disk meanwhile is kept as "<name>.changed-on-disk" before it is replaced; a
    // file the user made read-only is not replaced. False on any failure.
    bool write(const BodyWriter& writeBody, bool ownChanges);

    // The name under which a partly read file is kept before it is first saved over.
    QString backupFileName() const;

    // What a file on disk looks like: whether it is there (a regular file), its size, time and
    // inode, and the hash of its contents where they are given.
    struct DiskState
    {
        bool exists = false;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        quint64 inode = 0;
        QByteArray hash;

        bool operator==(const DiskState& other) const = default;
    };
    static DiskState diskState(const QString& fileName, const QByteArray* contents = nullptr);
    // Whether the file on disk holds something other than what the program last read or wrote
    // (someone edited or replaced it); a file that is gone has nothing to read.
    bool changedOnDisk() const;

private:
    enum class ReadOutcome { NotRead, Complete, Partial, Unopenable, Abandoned };

    static QByteArray render(const BodyWriter& writeBody);
    bool keepCopy(const QString& baseName, const QString& why);
    bool replace(const QString& fileName, const QByteArray& document);
    void report(const QString& text);

    QString m_fileName;
    QString m_rootElement;
    PartialReadPolicy m_policy = PartialReadPolicy::KeepCopy;
    ReadOutcome m_outcome = ReadOutcome::NotRead;
    QString m_readProblem;
    QString m_sessionFileName;
    QByteArray m_savedHash;
    // The file as it was when last read or written.
    DiskState m_disk;
    Reporter m_reporter;
    QString m_lastReport;
};

} // namespace Tarnwick
