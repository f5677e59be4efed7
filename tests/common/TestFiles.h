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

// A device list of count loopback addresses (127.1.0.1 on), as the program reads it.
inline QByteArray loopbackDeviceList(int count)
{
    QByteArray list = "<DeviceEntries>\n";
    for (int i = 0; i < count; ++i)
        list += QStringLiteral("<DeviceEntry IP=\"127.1.%1.%2\" Type=\"3\" IASC=\"0\"/>\n")
                    .arg(i / 250)
                    .arg(i % 250 + 1)
                    .toLatin1();
    list += "</DeviceEntries>\n";
    return list;
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
