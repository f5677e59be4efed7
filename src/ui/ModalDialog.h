#pragma once

class QDialog;

namespace Tarnwick {

// Every dialog is built on request, shown application-modal without waiting for it, and
// released when it closes.
class ModalDialog
{
public:
    static void open(QDialog* dialog);
};

} // namespace Tarnwick
