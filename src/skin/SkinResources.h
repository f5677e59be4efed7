#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace Tarnwick {

// The pictures of the current skin, loaded once at start-up and looked up by exact file name.
// A name that is not in the skin yields a null picture.
class SkinResources
{
public:
    // Reads every "*.png" file of "Skins/<Settings::skin>". GUI thread only.
    static void load();

    static QIcon icon(QString fileName);
    static QImage image(QString fileName);
    static QPixmap pixmap(QString fileName);
};

} // namespace Tarnwick
