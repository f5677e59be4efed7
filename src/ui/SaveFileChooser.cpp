// SPDX-License-Identifier: GPL-3.0-or-later
#include "SaveFileChooser.h"

#include "NameOnlyFileIconProvider.h"

#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QStandardPaths>

namespace Tarnwick {

QString SaveFileChooser::choose(QWidget* parent, const QString& title, const QString& suggestedName)
{
    QPointer<QFileDialog> fileDialog = dialog(parent, title, suggestedName);
    const bool accepted = fileDialog->exec() == QDialog::Accepted;
    // The dialog's loop may outlive the window that asked (the program quitting meanwhile).
    if (!fileDialog)
        return {};
    const QStringList chosen = fileDialog->selectedFiles();
    delete fileDialog;
    return accepted && !chosen.isEmpty() ? chosen.first() : QString();
}

QFileDialog* SaveFileChooser::dialog(QWidget* parent, const QString& title, const QString& suggestedName)
{
    auto* fileDialog = new QFileDialog(parent, title);
    fileDialog->setAcceptMode(QFileDialog::AcceptSave);
    fileDialog->setFileMode(QFileDialog::AnyFile);
    fileDialog->setNameFilter(tr("CSV files (*.csv)"));
    fileDialog->setDefaultSuffix(QStringLiteral("csv"));
    // A dialog of the desktop's own would read the files it lists, the program's history among
    // them, when it is the program's working directory that is shown.
    fileDialog->setOption(QFileDialog::DontUseNativeDialog);
    auto* icons = new NameOnlyFileIconProvider;
    fileDialog->setIconProvider(icons);
    QObject::connect(fileDialog, &QObject::destroyed, [icons] { delete icons; });
    // Exports belong with the user's documents, not among the program's own files.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    fileDialog->setDirectory(QDir(documents).exists() ? documents : QDir::homePath());
    fileDialog->selectFile(suggestedName);
    return fileDialog;
}

} // namespace Tarnwick
