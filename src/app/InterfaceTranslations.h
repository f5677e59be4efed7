// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace Tarnwick {

// The translations of the window into the user's language: Qt's own, for its standard buttons
// and dialogs, and the program's. English plural forms come from a file of their own, so that
// "%n devices" reads "1 device" in English and in any language not translated yet.
class InterfaceTranslations
{
public:
    // Where the program's ".qm" files are looked for: beside the program (a build tree), then the
    // installed data folder.
    static QStringList folders();

    // Installs the translations for the locale's languages, the most preferred found first;
    // missing files leave the texts English. Returns the language of the program's translation,
    // or an empty text when English is shown.
    QString install(const QLocale& locale = QLocale::system());

private:
    QTranslator m_englishPlurals;
    QTranslator m_qt;
    QTranslator m_program;
};

} // namespace Tarnwick
