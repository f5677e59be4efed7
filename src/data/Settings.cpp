// SPDX-License-Identifier: GPL-3.0-or-later
#include "Settings.h"

#include "SettingsValueText.h"
#include "SettingsXmlHandler.h"

#include <QHash>
#include <QXmlStreamWriter>

#include <type_traits>

namespace Tarnwick {

Settings& Settings::instance()
{
    static Settings settings;
    return settings;
}

void Settings::setDefaults()
{
    forEachStoredField([this](const auto& element) {
        if constexpr (isWindowElement<decltype(element)>) {
            this->*element.geometry = element.defaultGeometry;
            this->*element.maximized = false;
        } else {
            this->*element.field = element.defaultValue;
        }
    });
}

DocumentFile& Settings::file() const
{
    // The file's bookkeeping belongs to the file, not to the record: a copy loaded or saved
    // elsewhere (a test's, a dialog's) must not make the program forget what it last wrote.
    static QHash<QString, DocumentFile> files;
    auto it = files.find(fileName);
    if (it == files.end())
        it = files.insert(fileName, DocumentFile(fileName, QStringLiteral("Settings")));
    return *it;
}

void Settings::keepInRanges()
{
    forEachStoredField([this](const auto& element) {
        if constexpr (!isWindowElement<decltype(element)>)
            element.keepInRange(*this);
    });
}

QStringList Settings::setEdited(const Settings& original, const Settings& edited)
{
    QStringList changed;
    forEachStoredField([&](const auto& element) {
        if constexpr (isWindowElement<decltype(element)>) {
            const bool moved = original.*element.geometry != edited.*element.geometry;
            const bool maximized = original.*element.maximized != edited.*element.maximized;
            if (moved)
                set(element.geometry, edited.*element.geometry);
            if (maximized)
                set(element.maximized, edited.*element.maximized);
            if (moved || maximized)
                changed << QString::fromLatin1(element.name);
        } else if (!(original.*element.field == edited.*element.field)) {
            set(element.field, edited.*element.field);
            changed << QString::fromLatin1(element.name);
        }
    });
    return changed;
}

bool Settings::load(const QString& name, DocumentFile::Reporter reporter)
{
    setDefaults();
    fileName = name;
    DocumentFile& document = file();
    document = DocumentFile(name, QStringLiteral("Settings"), DocumentFile::PartialReadPolicy::KeepCopy,
                            std::move(reporter));
    SettingsXmlHandler handler(*this);
    const bool complete = document.read(handler);
    document.rememberAsSaved([this](QXmlStreamWriter& writer) { writeDocument(writer); });
    return complete;
}

FileReload Settings::reload(DocumentFile::Reporter reporter)
{
    FileReload outcome;
    // Records of one file share its bookkeeping, which reading replaces: a file that cannot be
    // read whole must leave what the program last read or wrote.
    const DocumentFile kept = file();
    Settings read;
    if (!read.load(fileName, std::move(reporter))) {
        outcome.problem = DocumentFile::notReadReason(read.file());
        file() = kept;
        return outcome;
    }
    outcome.read = true;
    outcome.changedNames = setEdited(Settings(*this), read);
    outcome.changed = int(outcome.changedNames.size());
    // The file's bookkeeping is the read's now: what it says is what a save would write.
    return outcome;
}

bool Settings::save()
{
    return file().write([this](QXmlStreamWriter& writer) { writeDocument(writer); }, hasUnsavedChanges());
}

bool Settings::hasUnsavedChanges() const
{
    return file().hasChanges([this](QXmlStreamWriter& writer) { writeDocument(writer); });
}

void Settings::writeDocument(QXmlStreamWriter& writer) const
{
    writer.writeStartElement(QStringLiteral("Settings"));
    forEachStoredField([this, &writer](const auto& element) {
        const QString name = QString::fromLatin1(element.name);
        if constexpr (isWindowElement<decltype(element)>) {
            const QRect& geometry = this->*element.geometry;
            writer.writeStartElement(name);
            writer.writeAttribute(QStringLiteral("X"), QString::number(geometry.left()));
            writer.writeAttribute(QStringLiteral("Y"), QString::number(geometry.top()));
            writer.writeAttribute(QStringLiteral("W"), QString::number(geometry.width()));
            writer.writeAttribute(QStringLiteral("H"), QString::number(geometry.height()));
            writer.writeAttribute(QStringLiteral("Maximized"), SettingsValueText::write(this->*element.maximized));
            writer.writeEndElement();
        } else {
            writer.writeTextElement(name, SettingsValueText::write(this->*element.field));
        }
    });
    writer.writeEndElement();
}

} // namespace Tarnwick
