// SPDX-License-Identifier: GPL-3.0-or-later
#include "InterfaceTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

namespace Tarnwick {

namespace {

const QString FileName = QStringLiteral("tarnwick");
const QString Separator = QStringLiteral("_");

// Loads the file of the locale's most preferred language that has one, from the first folder
// that holds it.
bool loadFirst(QTranslator& translator, const QLocale& locale, const QString& name, const QStringList& folders)
{
    for (const QString& folder : folders)
        if (translator.load(locale, name, Separator, folder))
            return true;
    return false;
}

} // namespace

QStringList InterfaceTranslations::folders()
{
    const QString program = QCoreApplication::applicationDirPath();
    return {program + QStringLiteral("/translations"),
            QDir::cleanPath(program + QStringLiteral("/../share/tarnwick/translations"))};
}

QString InterfaceTranslations::install(const QLocale& locale)
{
    const QStringList where = folders();
    // Translators installed later are asked first: English plurals are the fallback of all.
    if (loadFirst(m_englishPlurals, QLocale(QLocale::English), FileName, where))
        QCoreApplication::installTranslator(&m_englishPlurals);
    if (m_qt.load(locale, QStringLiteral("qtbase"), Separator, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&m_qt);
    // English is the program's own language: its file holds only the plural forms loaded above.
    if (!loadFirst(m_program, locale, FileName, where) || m_program.language().startsWith(QLatin1String("en")))
        return {};
    QCoreApplication::installTranslator(&m_program);
    return m_program.language();
}

} // namespace Tarnwick
