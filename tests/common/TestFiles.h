// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Small file helpers shared by the tests that read and write the program's files.
namespace TestFiles {

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Writes an executable shell script that runs body (a stand-in for a program); whether it could.
inline bool writeScript(const QString& path, const QByteArray& body)
{
    const QByteArray text = "#!/bin/sh\n" + body;
    QFile script(path);
    return script.open(QIODevice::WriteOnly) && script.write(text) == text.size()
        && script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Empties the temporary folder and makes it the working directory.
inline void enterEmpty(const QTemporaryDir& dir)
{
    QVERIFY(dir.isValid());
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    QVERIFY(QDir::setCurrent(dir.path()));
}

} // namespace TestFiles
