// SPDX-License-Identifier: GPL-3.0-or-later
#include "AutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace Tarnwick {

namespace {

// An argument of an Exec line: quoted, with the characters the desktop entry format reserves
// escaped, where it holds anything but plain characters.
QString execArgument(const QString& text)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return reserved.contains(c); }))
        return text;
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    // In a desktop file the backslash itself is escaped once more.
    escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

QString AutostartEntry::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/tarnwick.desktop");
}

bool AutostartEntry::exists()
{
    return QFile::exists(filePath());
}

bool AutostartEntry::write(QString* why)
{
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("tarnwick-desktop"));
    QString lines = QStringLiteral("[Desktop Entry]\nType=Application\nName=Tarnwick\n"
                                   "Comment=Watches the devices of your network\nIcon=tarnwick\n");
    if (!launcher.isEmpty()) {
        lines += QStringLiteral("Exec=tarnwick-desktop\n");
    } else {
        lines += QStringLiteral("Exec=%1\n").arg(execArgument(QCoreApplication::applicationFilePath()));
        lines += QStringLiteral("Path=%1\n").arg(QDir::currentPath());
    }
    lines += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    QDir().mkpath(QFileInfo(filePath()).absolutePath());
    QSaveFile file(filePath());
    const QByteArray bytes = lines.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (why)
        *why = file.errorString();
    return false;
}

bool AutostartEntry::remove()
{
    return !exists() || QFile::remove(filePath());
}

bool AutostartEntry::set(bool wanted, QString* why)
{
    if (wanted == exists())
        return true;
    if (wanted)
        return write(why);
    if (remove())
        return true;
    if (why)
        *why = QStringLiteral("it could not be removed");
    return false;
}

} // namespace Tarnwick
