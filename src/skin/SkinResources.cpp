#include "SkinResources.h"

#include "data/Settings.h"

#include <QDir>
#include <QMap>

namespace Tarnwick {

namespace {
QMap<QString, QIcon> s_icons;
QMap<QString, QImage> s_images;
QMap<QString, QPixmap> s_pixmaps;
} // namespace

void SkinResources::load()
{
    const QDir dir(QStringLiteral("Skins/") + Settings::instance().skin);
    // Name filters match regardless of case, so "Logo.PNG" is a picture too.
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::NoSort);
    for (const QFileInfo& file : files) {
        const QString key = file.fileName();
        const QString path = file.filePath();
        s_icons.insert(key, QIcon(path));
        s_images.insert(key, QImage(path));
        s_pixmaps.insert(key, QPixmap(path));
    }
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
