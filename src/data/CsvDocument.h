// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Tarnwick {

// A table written as comma-separated values (RFC 4180): a header row naming the columns, CRLF
// line ends, and a field in double quotes, its quotes doubled, when it holds a comma, a quote or
// a line break (or begins or ends with a space, which some readers would drop). A text that a
// spreadsheet would take for a formula (one beginning with =, +, -, @, a tab or a carriage
// return) gets an apostrophe in front, which shows it as text; plain numbers stay numbers.
class CsvDocument
{
public:
    explicit CsvDocument(QStringList header);

    void addRow(const QStringList& fields);
    QByteArray toUtf8() const;
    // Replaces the file as a whole or leaves it as it was; false when it could not be written.
    bool save(const QString& fileName) const;

    static QString field(const QString& text);
    // A time as every export writes it, in UTC: "2026-12-08 16:11:05", which spreadsheets read
    // as a date and time.
    static QString time(qint64 msSinceEpoch);

private:
    QList<QStringList> m_rows;
};

} // namespace Tarnwick
