// SPDX-License-Identifier: GPL-3.0-or-later
#include "SkinResources.h"

#include "DevicePictures.h"
#include "SkinLogging.h"
#include "data/DeviceEntry.h"
#include "data/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

namespace Tarnwick {

namespace {

QMap<QString, QIcon> s_icons;
QMap<QString, QImage> s_images;
QMap<QString, QPixmap> s_pixmaps;
QStringList s_problems;

// The names the program asks for.
QStringList neededPictures()
{
    return {QStringLiteral("twicon.png"),
            DevicePictures::forState(DeviceStateConnected),
            DevicePictures::forState(DeviceStateDisconnected),
            DevicePictures::forType(DeviceTypePC),
            DevicePictures::forType(DeviceTypeAP),
            DevicePictures::forType(DeviceTypeRouter),
            DevicePictures::forType(DeviceTypeWeb)};
}

// A skin is a folder right under "Skins": its name may not lead anywhere else.
bool isFolderName(const QString& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && name != QLatin1String("..")
        && name != QLatin1String(".");
}

// Loads the pictures of one folder over what is cached; returns their names.
QStringList loadFolder(const QString& path)
{
    const QDir dir(path);
    // Name filters match regardless of case, so "Logo.PNG" is a picture too.
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::NoSort);
    QStringList names;
    for (const QFileInfo& file : files) {
        const QString key = file.fileName();
        const QString filePath = file.filePath();
        s_icons.insert(key, QIcon(filePath));
        s_images.insert(key, QImage(filePath));
        s_pixmaps.insert(key, QPixmap(filePath));
        names << key;
    }
    return names;
}

} // namespace

QString SkinResources::folder()
{
    const QString name = Settings::instance().skin;
    return QStringLiteral("Skins/") + (isFolderName(name) ? name : QString::fromLatin1(DefaultSkin));
}

QString SkinResources::filePath(const QString& fileName)
{
    for (const QString& skin : {folder(), QStringLiteral("Skins/") + QLatin1String(DefaultSkin)}) {
        const QString path = skin + QLatin1Char('/') + fileName;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

void SkinResources::load()
{
    s_problems.clear();
    const QString name = Settings::instance().skin;
    if (!isFolderName(name)) {
        s_problems << QStringLiteral("The skin name \"%1\" is not a folder name under \"Skins\"; the skin \"%2\" is "
                                     "used instead.")
                          .arg(name, QLatin1String(DefaultSkin));
    }
    const QString chosen = folder();
    const QString fallback = QStringLiteral("Skins/") + QLatin1String(DefaultSkin);
    if (chosen != fallback)
        loadFolder(fallback);
    const QStringList found = loadFolder(chosen);

    QStringList missing;
    for (const QString& picture : neededPictures()) {
        if (!found.contains(picture))
            missing << picture;
    }
    if (!missing.isEmpty()) {
        s_problems << QStringLiteral("The skin folder \"%1\" lacks %2; %3.")
                          .arg(chosen, missing.join(QStringLiteral(", ")),
                               chosen == fallback ? QStringLiteral("they are not shown")
                                                  : QStringLiteral("they are taken from \"%1\"").arg(fallback));
    }
    for (const QString& problem : std::as_const(s_problems))
        qCWarning(lcSkin).noquote() << problem;
}

QStringList SkinResources::problems()
{
    return s_problems;
}

QIcon SkinResources::icon(QString fileName)
{
    return s_icons.value(fileName);
}

QImage SkinResources::image(QString fileName)
{
    return s_images.value(fileName);
}

QPixmap SkinResources::pixmap(QString fileName)
{
    return s_pixmaps.value(fileName);
}

} // namespace Tarnwick
