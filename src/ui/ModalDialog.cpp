// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModalDialog.h"

#include <QDialog>

namespace Tarnwick {

void ModalDialog::open(QDialog* dialog, QWidget* over)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (over)
        dialog->setParent(over->window(), dialog->windowFlags());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
}

} // namespace Tarnwick
