#include "ModalDialog.h"

#include <QDialog>

namespace Tarnwick {

void ModalDialog::open(QDialog* dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    dialog->show();
}

} // namespace Tarnwick
