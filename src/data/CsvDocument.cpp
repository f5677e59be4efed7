// SPDX-License-Identifier: GPL-3.0-or-later
#include "CsvDocument.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSaveFile>

namespace Tarnwick {

namespace {

bool startsAFormula(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    static const QString starts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && starts.contains(text.front()) && !number.match(text).hasMatch();
}

} // namespace

CsvDocument::CsvDocument(QStringList header)
    : m_rows{std::move(header)}
{
}

void CsvDocument::addRow(const QStringList& fields)
{
    m_rows.append(fields);
}

QString CsvDocument::field(const QString& value)
{
    const QString text = startsAFormula(value) ? QLatin1Char('\'') + value : value;
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

QString CsvDocument::time(qint64 msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace Tarnwick
