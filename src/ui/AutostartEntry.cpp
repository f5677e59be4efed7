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

// An argument of an Exec line: quoted, with the characters that are special inside quotes
// escaped, where it holds anything but plain characters.
QString execArgument(const QString& text)
{
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return reserved.contains(c); }))
        return text;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

// A value as the desktop entry format writes it: backslash, line break, tab and carriage return
// as escapes, and a leading space kept by its own.
QString escapedValue(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else
            escaped += c;
    }
    if (escaped.startsWith(QLatin1Char(' ')))
        escaped.replace(0, 1, QLatin1String("\\s"));
    return escaped;
}

// Why a path cannot go into an entry: other control characters have no escape, and a name
// that is not valid UTF-8 would come back as another name.
QString unwritable(const QString& path)
{
    for (const QChar c : path) {
        if (c == QChar::ReplacementCharacter)
            //: %1: a file or folder name
            return QCoreApplication::translate("AutostartEntry", "\"%1\" is not a valid UTF-8 name").arg(path);
        if ((c.unicode() < 0x20 || c.unicode() == 0x7f) && c != QLatin1Char('\n') && c != QLatin1Char('\t')
            && c != QLatin1Char('\r'))
            return QCoreApplication::translate("AutostartEntry",
                                               "\"%1\" holds a control character that a desktop entry cannot hold")
                .arg(path);
    }
    return {};
}

// The folder the menu's launcher starts Tarnwick in.
QString launcherFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/tarnwick");
}

bool sameFolder(const QString& a, const QString& b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
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

QString AutostartEntry::contents(const QString& program, const QString& folder, QString* why)
{
    QString lines = QStringLiteral("[Desktop Entry]\nType=Application\nName=Tarnwick\n"
                                   "Comment=Watches the devices of your network\nIcon=tarnwick\n");
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("tarnwick-desktop"));
    if (!launcher.isEmpty() && sameFolder(folder, launcherFolder())) {
        lines += QStringLiteral("Exec=tarnwick-desktop\n");
    } else {
        for (const QString& path : {program, folder}) {
            if (const QString problem = unwritable(path); !problem.isEmpty()) {
                if (why)
                    *why = problem;
                return {};
            }
        }
        // "%" starts a field code; "%%" is a percent sign. Launchers look for the program by its
        // name before they expand the codes, so a name with "%" goes behind env.
        QString exec = execArgument(program);
        if (exec.contains(QLatin1Char('%')))
            exec = QStringLiteral("env ") + exec.replace(QLatin1Char('%'), QLatin1String("%%"));
        lines += QStringLiteral("Exec=%1\n").arg(escapedValue(exec));
        lines += QStringLiteral("Path=%1\n").arg(escapedValue(folder));
    }
    return lines + QStringLiteral("X-GNOME-Autostart-enabled=true\n");
}

bool AutostartEntry::write(QString* why)
{
    const QString lines = contents(QCoreApplication::applicationFilePath(), QDir::currentPath(), why);
    if (lines.isEmpty())
        return false;
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
        //: Why the autostart entry could not be changed: it is the entry that could not be removed
        *why = tr("it could not be removed");
    return false;
}

} // namespace Tarnwick
