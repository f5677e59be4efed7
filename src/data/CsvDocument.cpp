// SPDX-License-Identifier: GPL-3.0-or-later
#include "CsvDocument.h"

#include <QSaveFile>

namespace Tarnwick {

CsvDocument::CsvDocument(QStringList header)
    : m_rows{std::move(header)}
{
}

void CsvDocument::addRow(const QStringList& fields)
{
    m_rows.append(fields);
}

QString CsvDocument::field(const QString& text)
{
    const bool quoted = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))
        || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) || text.startsWith(QLatin1Char(' '))
        || text.endsWith(QLatin1Char(' '));
    if (!quoted)
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QByteArray CsvDocument::toUtf8() const
{
    QString text;
    for (const QStringList& row : m_rows) {
        QStringList fields;
        fields.reserve(row.size());
        for (const QString& value : row)
            fields << field(value);
        text += fields.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return text.toUtf8();
}

bool CsvDocument::save(const QString& fileName) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = toUtf8();
    return file.write(bytes) == bytes.size() && file.commit();
}

} // namespace Tarnwick
