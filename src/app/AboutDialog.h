// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPushButton;

namespace Tarnwick {

// The product's name, version and who makes it.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

private slots:
    void OkButtonClicked();

private:
    QPushButton* m_okButton;
};

} // namespace Tarnwick
