// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace Tarnwick {

// The pictures of the current skin, loaded once at start-up and looked up by exact file name.
// A name that is not in the skin yields a null picture.
class SkinResources
{
public:
    static constexpr const char* DefaultSkin = "Default";

    // Reads every "*.png" file of "Skins/<Settings::skin>", and first those of "Skins/Default"
    // for every picture the chosen skin lacks. GUI thread only.
    static void load();
    // What load() found wrong (a refused skin name, missing pictures), one text each.
    static QStringList problems();

    // The folder of the chosen skin: "Skins/" and the skin's name, or the default skin's when
    // the name is not a plain folder name (one with a path separator or "..").
    static QString folder();

    // The path of a file of the chosen skin that is not a picture (a sound), or of the default
    // skin's when the chosen skin lacks it; empty when neither has it.
    static QString filePath(const QString& fileName);

    static QIcon icon(QString fileName);
    static QImage image(QString fileName);
    static QPixmap pixmap(QString fileName);
};

} // namespace Tarnwick
