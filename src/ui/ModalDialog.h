// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QDialog;
class QWidget;

namespace Tarnwick {

// Every dialog is built on request, shown without waiting for it, and released when it
// closes. It is modal to the main window: the window takes no input while it is open, but
// the tray icon does, so that "Show" and "Exit" always work.
class ModalDialog
{
public:
    // over: the window the dialog belongs to (the main window), or none.
    static void open(QDialog* dialog, QWidget* over);
};

} // namespace Tarnwick
