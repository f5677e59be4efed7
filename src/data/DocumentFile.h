#pragma once

#include <QString>

#include <functional>

class QXmlStreamWriter;

namespace Tarnwick {

class IXmlContentHandler;

// One XML document on disk that is read once and saved over later. It remembers how the
// read went so that a save never destroys what could not be read, and it replaces the
// file atomically so that a crash or a full disk leaves the previous file whole.
class DocumentFile
{
public:
    // What a save does with a file that was read only in part.
    enum class PartialReadPolicy {
        KeepCopy, // keep it beside itself as "<name>.unreadable", then save
        LeaveAlone, // do not save over it at all
    };

    DocumentFile() = default;
    explicit DocumentFile(const QString& fileName, PartialReadPolicy policy = PartialReadPolicy::KeepCopy);

    QString fileName() const;

    // Parses the file into the handler; true when the whole document was read.
    bool read(IXmlContentHandler& handler);

    // Writes the declaration, lets writeBody add the root element, and swaps the result in.
    // A file that could not be opened at read time is left alone; one that was only read in
    // part is dealt with as the policy says.
    bool write(const std::function<void(QXmlStreamWriter&)>& writeBody);

    // The name under which a partly read file is kept before it is first saved over.
    QString backupFileName() const;

    bool operator==(const DocumentFile& other) const = default;

private:
    enum class ReadOutcome { NotRead, Complete, Partial, Unopenable };

    bool keepUnreadableCopy();

    QString m_fileName;
    PartialReadPolicy m_policy = PartialReadPolicy::KeepCopy;
    ReadOutcome m_outcome = ReadOutcome::NotRead;
};

} // namespace Tarnwick
