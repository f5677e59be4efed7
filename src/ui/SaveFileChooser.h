// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>

class QFileDialog;
class QWidget;

namespace Tarnwick {

// Asks where to save a file. The file dialog runs a loop of its own: the widgets that ask hold
// a Chooser, this one unless a test puts one in its place that answers at once.
class SaveFileChooser
{
    Q_DECLARE_TR_FUNCTIONS(SaveFileChooser)

public:
    using Chooser = std::function<QString(QWidget* parent, const QString& title, const QString& suggestedName)>;

    // The chosen path, or empty when the user cancelled.
    static QString choose(QWidget* parent, const QString& title, const QString& suggestedName);

    // The dialog that choose() runs: Qt's own, in the user's documents folder, telling files
    // apart by their names only (see NameOnlyFileIconProvider). The caller owns it.
    static QFileDialog* dialog(QWidget* parent, const QString& title, const QString& suggestedName);
};

} // namespace Tarnwick
