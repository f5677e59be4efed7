// SPDX-License-Identifier: GPL-3.0-or-later
#include "SaveFileChooser.h"

#include <QFileDialog>

namespace Tarnwick {

namespace {

SaveFileChooser::Chooser& chooser()
{
    static SaveFileChooser::Chooser instance;
    return instance;
}

} // namespace

void SaveFileChooser::setChooser(Chooser replacement)
{
    chooser() = std::move(replacement);
}

QString SaveFileChooser::choose(QWidget* parent, const QString& title, const QString& suggestedName)
{
    if (chooser())
        return chooser()(parent, title, suggestedName);
    return QFileDialog::getSaveFileName(parent, title, suggestedName, QStringLiteral("CSV files (*.csv)"));
}

} // namespace Tarnwick
